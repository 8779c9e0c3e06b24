#pragma once

#include <chrono>
#include <functional>
#include <string_view>

#include "probe/pingadapter.h"
#include "probe/proberesult.h"

namespace quorvel {

// How a ping child is waited for.
struct PingChildOptions {
  // Called at least every `step` while the child runs (the window handles
  // its events there).
  std::function<void()> onStep;
  std::chrono::milliseconds step{100};
  // Asked before the child starts and after every step: yes kills the child
  // at once and the result is Cancelled.
  std::function<bool()> shouldStop;
};

// One echo to `command.address` by the host's ping (iputils), run without a
// shell, the address one operand after "--". The child is killed 10 s after
// its reply timeout, since the timeout does not bound name resolution.
//
// The result carries the outcome, the round trip of a reply (as ping printed
// it, to the microsecond) and, as its text, ping's output brought into the
// response shape (AdaptIputilsOutput). A reply whose payload ping found
// spoilt (IsSpoilt) is Lost with `corrupted` set, its text unchanged. A
// child that cannot be started is Failed with the system's reason; one that
// writes nothing is Lost with an empty text. Thread: any; `onStep` runs on
// the calling thread.
// Whether iputils' output says the reply's payload was not what it sent:
// "wrong data byte" after the reply, or "(BAD CHECKSUM!)" on it.
bool IsSpoilt(std::string_view pingOutput);

ProbeResult PingChild(const PingCommand& command, const PingChildOptions& options = {});

}  // namespace quorvel
