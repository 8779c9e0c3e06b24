#include "web/servercounters.h"

#include <unistd.h>

#include <ctime>

#include "stats/prometheus.h"

namespace quorvel {

namespace {

void Header(std::string& out, const char* name, const char* help) {
  AppendMetricFamily(out, name, "counter", help);
}

void Sample(std::string& out, const char* name, const std::string& labels, std::uint64_t value) {
  AppendMetricSample(out, name, labels, std::to_string(value));
}

}  // namespace

std::string FormatServerMetrics(const HttpServerCounters& counters) {
  std::string out;
  const char* accepted = "quorvel_http_connections_accepted_total";
  Header(out, accepted, "Connections taken from the listening socket, refused ones included.");
  Sample(out, accepted, "", counters.accepted);
  const char* refused = "quorvel_http_connections_refused_total";
  Header(out, refused, "Connections closed at once, unread, by the cap that was reached.");
  Sample(out, refused, "{reason=\"connections\"}", counters.refusedAtConnectionCap);
  Sample(out, refused, "{reason=\"descriptors\"}", counters.refusedAtDescriptorReserve);
  const char* evicted = "quorvel_http_connections_evicted_total";
  Header(out, evicted, "Waiting connections closed to make room for newer ones.");
  Sample(out, evicted, "", counters.evicted);
  const char* timedOut = "quorvel_http_connections_timed_out_total";
  Header(out, timedOut, "Connections closed because the request or the reading of the reply stalled.");
  Sample(out, timedOut, "{phase=\"request\"}", counters.requestTimeouts);
  Sample(out, timedOut, "{phase=\"reply\"}", counters.replyTimeouts);
  const char* replies = "quorvel_http_replies_total";
  Header(out, replies, "Replies begun, by status code.");
  for (const auto& [status, count] : counters.replies) {
    Sample(out, replies, "{status=\"" + std::to_string(status) + "\"}", count);
  }
  return out;
}

IncidentLog::IncidentLog(std::string prefix, Sink sink, LocalClock clock, std::chrono::seconds interval)
    : prefix_(std::move(prefix)),
      sink_(sink ? std::move(sink) : Sink([](const std::string& line) {
        [[maybe_unused]] const ssize_t n = ::write(2, line.data(), line.size());
      })),
      clock_(clock ? std::move(clock) : LocalClock([] { return std::chrono::system_clock::now(); })),
      interval_(interval) {}

void IncidentLog::Note(Kind kind, const std::string& text) {
  PerKind& state = kinds_[static_cast<int>(kind)];
  const auto now = clock_();
  // A clock set back counts as time passed.
  if (state.last && now >= *state.last && now - *state.last < interval_) {
    ++state.held;
    return;
  }
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  std::tm utc{};
  ::gmtime_r(&seconds, &utc);
  char stamp[32];
  const std::size_t size = std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ ", &utc);
  std::string line(stamp, size);
  line += prefix_;
  line += text;
  if (state.held > 0) {
    line += " (and " + std::to_string(state.held) + " more since the last such line)";
  }
  line += '\n';
  state.last = now;
  state.held = 0;
  sink_(line);
}

}  // namespace quorvel
