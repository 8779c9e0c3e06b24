#include "agent/probeerrorlog.h"

#include <gtest/gtest.h>

#include <string>

namespace quorvel {
namespace {

using namespace std::chrono_literals;

ProbeResult Failed(const std::string& reason) {
  ProbeResult r;
  r.outcome = ProbeResult::Outcome::Failed;
  r.reason = reason;
  return r;
}

// The first of a reason at once; later ones at most every 10 s with how
// many came meanwhile; a name that does not resolve once per target.
TEST(ProbeErrorLog, OncePerReasonThenRateLimited) {
  ProbeErrorLog log;
  ProbeResult unknown;
  unknown.outcome = ProbeResult::Outcome::UnknownHost;
  const ProbeErrorLog::TimePoint t0{};
  const struct {
    const char* target;
    ProbeResult result;
    std::chrono::seconds at;
    const char* line;
  } cases[] = {
      {"a", Failed("Too many open files"), 0s,
       "quorvel-agent: a: a probe could not be made (Too many open files); such probes are counted as "
       "errors, not as lost\n"},
      {"b", Failed("Too many open files"), 1s, ""},
      {"c", Failed("Cannot allocate memory"), 2s,
       "quorvel-agent: c: a probe could not be made (Cannot allocate memory); such probes are counted as "
       "errors, not as lost\n"},
      {"a", Failed("Too many open files"), 10s, "quorvel-agent: 2 more probes could not be made (Too many open files)\n"},
      {"a", Failed("Too many open files"), 19s, ""},
      {"x", unknown, 22s, "quorvel-agent: x: the name does not resolve\n"},
      {"x", unknown, 40s, ""},
      {"a", ProbeResult{}, 50s, ""},  // a lost probe is no error
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.target) + " at " + std::to_string(c.at.count()));
    EXPECT_EQ(log.Note(c.target, c.result, t0 + c.at), c.line);
  }
}

}  // namespace
}  // namespace quorvel
