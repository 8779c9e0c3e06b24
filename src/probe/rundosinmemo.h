#pragma once

#include <functional>
#include <string>

namespace quorvel {

// Runs the command line of one probe ("ping <address> -w <ms> -n 1") through
// the host's ping program and appends the response text to `response`.
//
// No shell is involved: the address is handed to ping as one operand. While
// the child runs, `pumpEvents` is called at least every 100 ms. A child still
// running 10 s after its reply timeout is killed. A command line of another
// shape, a ping that cannot be started, or one that writes nothing leaves
// `response` as it was; nothing here reports an error.
void RunDosInMemo(const std::string& commandLine, std::string& response,
                  const std::function<void()>& pumpEvents);

// The same, cut short when `cancelled` says yes (asked before the child
// starts and after every pump): the child is killed at once, `response`
// stays as it was and the result is false. True when the probe ran to its
// end (whatever it wrote).
bool RunDosInMemo(const std::string& commandLine, std::string& response,
                  const std::function<void()>& pumpEvents, const std::function<bool()>& cancelled);

}  // namespace quorvel
