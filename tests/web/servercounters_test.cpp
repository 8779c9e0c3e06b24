#include "web/servercounters.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace quorvel {
namespace {

TEST(FormatServerMetrics, EveryFamilyWithItsHelpAndTypeRepliesByStatus) {
  HttpServerCounters counters;
  counters.accepted = 12;
  counters.refusedAtConnectionCap = 1;
  counters.refusedAtDescriptorReserve = 2;
  counters.evicted = 3;
  counters.requestTimeouts = 4;
  counters.replyTimeouts = 5;
  counters.replies = {{200, 6}, {404, 1}};
  EXPECT_EQ(FormatServerMetrics(counters),
            "# HELP quorvel_http_connections_accepted_total Connections taken from the listening "
            "socket, refused ones included.\n"
            "# TYPE quorvel_http_connections_accepted_total counter\n"
            "quorvel_http_connections_accepted_total 12\n"
            "# HELP quorvel_http_connections_refused_total Connections closed at once, unread, by the "
            "cap that was reached.\n"
            "# TYPE quorvel_http_connections_refused_total counter\n"
            "quorvel_http_connections_refused_total{reason=\"connections\"} 1\n"
            "quorvel_http_connections_refused_total{reason=\"descriptors\"} 2\n"
            "# HELP quorvel_http_connections_evicted_total Waiting connections closed to make room for "
            "newer ones.\n"
            "# TYPE quorvel_http_connections_evicted_total counter\n"
            "quorvel_http_connections_evicted_total 3\n"
            "# HELP quorvel_http_connections_timed_out_total Connections closed because the request or "
            "the reading of the reply stalled.\n"
            "# TYPE quorvel_http_connections_timed_out_total counter\n"
            "quorvel_http_connections_timed_out_total{phase=\"request\"} 4\n"
            "quorvel_http_connections_timed_out_total{phase=\"reply\"} 5\n"
            "# HELP quorvel_http_replies_total Replies begun, by status code.\n"
            "# TYPE quorvel_http_replies_total counter\n"
            "quorvel_http_replies_total{status=\"200\"} 6\n"
            "quorvel_http_replies_total{status=\"404\"} 1\n");
}

// At most one line per kind per 10 s, stamped in UTC; the next one says how
// many were held back.
TEST(IncidentLog, OneLinePerKindPerIntervalWithTheNumberHeldBack) {
  using namespace std::chrono;
  std::vector<std::string> lines;
  system_clock::time_point now = system_clock::from_time_t(1'800'000'000);  // 2027-01-15T08:00:00Z
  IncidentLog log("prog: web server: ", [&](const std::string& line) { lines.push_back(line); },
                  [&] { return now; });
  const struct {
    seconds after;  // since the start
    IncidentLog::Kind kind;
    const char* line;  // empty: held back
  } steps[] = {
      {0s, IncidentLog::Kind::Eviction, "2027-01-15T08:00:00Z prog: web server: e\n"},
      {1s, IncidentLog::Kind::Eviction, ""},
      {1s, IncidentLog::Kind::Descriptors, "2027-01-15T08:00:01Z prog: web server: d\n"},
      {9s, IncidentLog::Kind::Eviction, ""},
      {10s, IncidentLog::Kind::Eviction,
       "2027-01-15T08:00:10Z prog: web server: e (and 2 more since the last such line)\n"},
      {12s, IncidentLog::Kind::Descriptors, "2027-01-15T08:00:12Z prog: web server: d\n"},
  };
  const auto start = now;
  for (const auto& step : steps) {
    now = start + step.after;
    lines.clear();
    log.Note(step.kind, step.kind == IncidentLog::Kind::Eviction ? "e" : "d");
    EXPECT_EQ(lines.empty() ? "" : lines.front(), step.line) << step.after.count();
  }
}

}  // namespace
}  // namespace quorvel
