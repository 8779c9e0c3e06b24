#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quorvel {

// What the web server has done since it was made (across its restarts).
struct HttpServerCounters {
  // Connections taken from the listening socket, those refused at once
  // below included.
  std::uint64_t accepted = 0;
  // Closed at once, unread: maxConnections were open, or only the
  // descriptors kept for the rest of the program were left and no waiting
  // connection could give way.
  std::uint64_t refusedAtConnectionCap = 0;
  std::uint64_t refusedAtDescriptorReserve = 0;
  // Waiting connections (request not complete) closed to make room for a
  // newer one: at a cap of waiting connections or short of descriptors.
  std::uint64_t evicted = 0;
  // Closed without a reply because the request did not arrive whole within
  // requestTimeout, or the client took no byte of the reply for writeTimeout.
  std::uint64_t requestTimeouts = 0;
  std::uint64_t replyTimeouts = 0;
  // Replies begun, by status code, in ascending order of the code; codes
  // never sent are left out.
  std::vector<std::pair<int, std::uint64_t>> replies;
};

// The Prometheus text exposition (format 0.0.4) of `counters`, every family
// with its HELP and TYPE lines (all counters):
//   quorvel_http_connections_accepted_total
//   quorvel_http_connections_refused_total{reason="connections"|"descriptors"}
//   quorvel_http_connections_evicted_total
//   quorvel_http_connections_timed_out_total{phase="request"|"reply"}
//   quorvel_http_replies_total{status="200"}, one series per status sent
// Lines end with LF. Pure; any thread.
std::string FormatServerMetrics(const HttpServerCounters& counters);

// Lines about incidents of the web server for standard error, rate-limited:
// the first of a kind is written at once, a later one only when `interval`
// (10 s) has passed since the last line of its kind, saying how many were
// held back meanwhile; the others are only counted. A line reads
// "2026-03-01T12:00:00Z <prefix><text>", the time in UTC.
//
// Thread: one at a time (the server's event loop).
class IncidentLog {
 public:
  enum class Kind { Descriptors, Eviction, Refusal };
  using Sink = std::function<void(const std::string& line)>;  // the line ends with LF
  using LocalClock = std::function<std::chrono::system_clock::time_point()>;

  // An empty sink writes to standard error, an empty clock reads the system's.
  explicit IncidentLog(std::string prefix, Sink sink = {}, LocalClock clock = {},
                       std::chrono::seconds interval = std::chrono::seconds(10));

  void Note(Kind kind, const std::string& text);

 private:
  struct PerKind {
    std::optional<std::chrono::system_clock::time_point> last;
    std::uint64_t held = 0;
  };

  std::string prefix_;
  Sink sink_;
  LocalClock clock_;
  std::chrono::seconds interval_;
  PerKind kinds_[3];
};

}  // namespace quorvel
