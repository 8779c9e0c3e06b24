#pragma once

#include <cstdint>
#include <string>

namespace quorvel {

// What one probe of one target came to. Every prober returns this: the ping
// child of the window and of the agent, and any engine of our own.
struct ProbeResult {
  enum class Outcome {
    Reply,        // answered after `rttNanos`
    Lost,         // no answer within the timeout (or an error reply)
    UnknownHost,  // the name does not resolve
    Failed,       // the probe could not be made at all; `reason` says why
    Cancelled,    // cut short by the caller (a stop); nothing to record
  };

  Outcome outcome = Outcome::Lost;
  std::int64_t rttNanos = 0;  // Reply only
  std::string reason;         // Failed only
  // Lost only: an answer came, but its payload was not what was sent (ping
  // reports "wrong data byte"): not a reply of the probe's.
  bool corrupted = false;
  // What to show of the probe: for the ping child, the response text in the
  // shape the reply parse reads (the reply on the line at index 3).
  std::string text;

  bool IsReply() const { return outcome == Outcome::Reply; }
  // The round trip in whole microseconds, for the figures.
  std::int64_t RttMicros() const { return rttNanos / 1000; }
};

// "reply", "lost", "unknown host", "failed", "cancelled".
const char* OutcomeName(ProbeResult::Outcome outcome);

}  // namespace quorvel
