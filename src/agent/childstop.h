#pragma once

namespace quorvel {

// Sends SIGKILL to every child process of this process that has not been
// reaped yet, and returns how many it signalled.
//
// The probe children are started by RunProcess, which keeps their process ids
// to itself; when the agent stops it finds them through /proc (the parent
// process id of each process). Each one is pinned with a pidfd before its
// parent is checked again and the signal is sent through that pidfd, so a
// process id reused after its child was reaped is never signalled. The
// children's own threads then see them end and reap them.
//
// Every child of the process is meant: call it only in a program whose
// children are all probes. Any thread.
int KillChildProcesses();

}  // namespace quorvel
