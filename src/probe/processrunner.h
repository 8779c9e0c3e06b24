#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace quorvel {

// Runs a program without a shell and collects what it writes.
//
// The program is looked up on PATH (argv[0]); standard input is /dev/null,
// standard output and standard error are collected separately, and no other
// descriptor of this process is inherited. The call returns once the child
// has ended: it waits in steps of at most `step`, calling `onStep` after each
// (the window uses it to keep handling its events), and kills the child when
// it is still running after `killAfter`. Output is read while waiting, so a
// child that writes a lot never stalls; each stream keeps at most
// `maxBytesPerStream` bytes, the rest is read and dropped.
//
// The child is killed by the kernel when the calling thread ends, and so
// when this process ends, however it ends (SIGKILL included): no probe
// outlives the program. The kernel drops that request when the program run
// gains privileges (a set-user-ID program, or one with file capabilities
// run by a user who lacks them); such a child still ends by its own bound.
//
// `shouldStop`, when given, is asked before the child is started and after
// every step (after `onStep`, which may be what makes it true): once it says
// yes, the child is killed at once and the call returns with `cancelled`
// set. A child that cannot outlive the caller's interest is how a closing
// window avoids waiting for a hanging ping.
//
// Thread: any; `onStep` runs on the calling thread.
struct ProcessOptions {
  std::chrono::milliseconds step{100};
  std::chrono::milliseconds killAfter{10'000};
  std::size_t maxBytesPerStream = 1 << 20;
  std::vector<std::string> extraEnvironment;  // "NAME=value" entries added to ours
  std::function<void()> onStep;
  std::function<bool()> shouldStop;
};

struct ProcessResult {
  bool started = false;   // false: the program could not be run at all
  bool killed = false;    // still running at the bound, and killed
  bool cancelled = false; // shouldStop said yes: not started, or killed then
  int exitCode = -1;      // exit status, or -1 when ended by a signal
  std::string standardOutput;
  std::string standardError;
  std::string error;      // why it could not be started
};

ProcessResult RunProcess(const std::vector<std::string>& argv, const ProcessOptions& options);

}  // namespace quorvel
