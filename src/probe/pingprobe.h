#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorvel {

// A reply line read as the plot run uses it.
struct PingReply {
  std::string text;  // the reply time as decimal digits, as logged
  std::int32_t value = 0;  // text read as an integer: the height of the point
  // The reply time as ping printed it, in microseconds ("time=0.047ms" is 47);
  // empty for a lost ping. Always value * 1000 plus less than 1000: `value`
  // is this time cut to whole milliseconds.
  std::optional<std::int64_t> micros;

  bool Lost() const { return !micros.has_value(); }
};

// Milliseconds the ping command may wait for its reply: the plot period
// (intervalSeconds x 1000) minus 200, at most 3000. Computed in 64 bits, so
// any interval the interval box allows is safe.
std::int32_t PingTimeoutFor(std::int64_t intervalSeconds);

// "ping " + address + " -w " + timeout + " -n 1": the command line of one
// probe. The address goes in unchanged (no trimming, no quoting).
std::string BuildPingCommandLine(std::string_view address, std::int32_t pingTimeout);

// The line at index 3 of the response text (lines split at LF, CR LF or CR);
// empty when the text has fewer than four lines.
std::string ReplyLine(std::string_view responseText);

// Whether the whole response text reports a name that could not be resolved.
bool ContainsHostNotFound(std::string_view responseText);

// Reads a reply line.
//  - a line containing "Request" is a lost ping: the timeout;
//  - otherwise the digits that start the (at most) ten characters after the
//    first "time=" or "time<" are the reply time;
//  - anything else (no time, no digits, a number beyond 32 bits) is a lost
//    ping: the timeout.
// A reply also keeps its precise time: the whole milliseconds plus up to three
// decimals after a '.' that directly follows them ("time<1ms", which has no
// precise time, keeps 1.000). The colour of the point is the plot run's
// business (ParsePingReply in run/sample.h).
PingReply ParseReplyLine(std::string_view replyLine, std::int32_t pingTimeout);

}  // namespace quorvel
