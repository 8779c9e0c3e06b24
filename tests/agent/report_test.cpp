#include "agent/report.h"
#include "agent/terminal.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace quorvel {
namespace {

// The summary of a run fed these replies in order (empty: a loss).
StatisticsSummary SummaryOf(const std::vector<std::optional<std::int64_t>>& samples) {
  RunStatistics statistics;
  for (const auto& s : samples) statistics.Add(s, 0, 0);
  return statistics.Summary();
}

TEST(AgentReport, LineForEveryKindOfRun) {
  const std::nullopt_t lost = std::nullopt;
  const struct {
    std::vector<std::optional<std::int64_t>> samples;
    const char* line;
  } cases[] = {
      {{}, "t sent=0 received=0 loss=- min=- avg=- p50=- p95=- p99=- max=- jitter=-"},
      {{lost, lost, lost},
       "t sent=3 received=0 loss=100.000% min=- avg=- p50=- p95=- p99=- max=- jitter=-"},
      {{47}, "t sent=1 received=1 loss=0.000% min=0.047 avg=0.047 p50=0.047 p95=0.047 p99=0.047 "
             "max=0.047 jitter=-"},
      {{lost, 12'345}, "t sent=2 received=1 loss=50.000% min=12.345 avg=12.345 p50=12.345 "
                       "p95=12.345 p99=12.345 max=12.345 jitter=-"},
      // Jitter over arrival order: |D| = 80 each time, J = 80 (1 - (15/16)^3).
      // The percentiles are the middles of their histogram buckets:
      // 9984..10111 us gives 10047.5, 89088..90111 us 89599.5.
      {{10'000, 90'000, 10'000, 90'000},
       "t sent=4 received=4 loss=0.000% min=10.000 avg=50.000 p50=10.048 p95=89.600 p99=89.600 "
       "max=90.000 jitter=14.082"},
      // One loss in three: 33.333 %.
      {{100, lost, 120},
       "t sent=3 received=2 loss=33.333% min=0.100 avg=0.110 p50=0.100 p95=0.120 p99=0.120 "
       "max=0.120 jitter=0.001"},
  };
  for (const auto& c : cases) EXPECT_EQ(ReportLine("t", SummaryOf(c.samples)), c.line);
}

TEST(AgentReport, LossHasThreeDecimals) {
  std::vector<std::optional<std::int64_t>> samples(1999, 1000);
  samples.push_back(std::nullopt);  // 1 of 2000
  const std::string line = ReportLine("x", SummaryOf(samples));
  EXPECT_NE(line.find(" loss=0.050% "), std::string::npos) << line;
}

TargetSnapshot Snap(const std::vector<std::optional<std::int64_t>>& samples,
                    std::map<std::string, std::uint64_t> errors = {}) {
  TargetSnapshot s;
  s.target = "t";
  s.summary = SummaryOf(samples);
  for (const auto& [reason, n] : errors) s.errorCount += n;
  s.unknownHost = errors.count("unknown host") ? errors["unknown host"] : 0;
  s.errors = std::move(errors);
  return s;
}

// Whether every target answered; whether anything could be probed at all;
// whether a name never resolved.
TEST(AgentReport, ExitStatus) {
  const TargetSnapshot answered = Snap({100});
  const TargetSnapshot silent = Snap({std::nullopt});
  const TargetSnapshot untried = Snap({});
  const TargetSnapshot refused = Snap({}, {{"Too many open files", 3}});
  const TargetSnapshot unresolved = Snap({}, {{"unknown host", 3}});
  const struct {
    std::vector<TargetSnapshot> targets;
    int status;
  } cases[] = {
      {{answered}, 0},
      {{answered, answered}, 0},
      {{answered, silent}, 1},
      {{untried, answered}, 1},
      {{}, 1},
      {{refused}, 4},
      {{refused, refused}, 4},
      {{refused, silent}, 1},        // something was probed
      {{refused, answered}, 1},
      {{unresolved, answered}, 5},
      {{unresolved, refused}, 4},    // nothing was probed at all
      {{Snap({100}, {{"unknown host", 1}})}, 0},  // resolved later and answered
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(ExitStatus(cases[i].targets), cases[i].status) << i;
}

TEST(AgentReport, WhatOnlyHappenedFollowsTheFigures) {
  TargetSnapshot s = Snap({100, std::nullopt}, {{"Too many open files", 2}, {"unknown host", 1}});
  s.corrupted = 1;
  s.missedSlots = 7;
  EXPECT_EQ(ReportLine(s), ReportLine("t", s.summary) +
                               " corrupted=1 missed=7 errors=3 (Too many open files: 2, unknown host: 1)");
  EXPECT_EQ(ReportLine(Snap({100})), ReportLine("t", SummaryOf({100})));
}

TEST(AgentLiveLine, LastProbeLossAndFigures) {
  EXPECT_EQ(LiveLine("a", 5, {}, SummaryOf({})),
            "a      last=-  loss=-  avg=-  p95=-  jitter=-");
  EXPECT_EQ(LiveLine("abc", 5, {true, 47, {}}, SummaryOf({47})),
            "abc    last=0.047 ms  loss=0.000 %  avg=0.047 ms  p95=0.047 ms  jitter=-");
  EXPECT_EQ(LiveLine("abcdefg", 5, {true, std::nullopt, {}}, SummaryOf({47, 53, std::nullopt})),
            "abcdefg  last=lost  loss=33.333 %  avg=0.050 ms  p95=0.053 ms  jitter=0.000 ms");
}

// Missed slots and errors follow a target's figures; the line above all
// says how many slots were missed in the last 10 s, and goes once none are.
TEST(AgentLiveLine, MissedSlotsAndErrorsAndBeingBehind) {
  TargetSnapshot s = Snap({47}, {{"Too many open files", 2}});
  s.missedSlots = 3;
  s.last.error = "Too many open files";
  s.last.any = true;
  EXPECT_EQ(LiveLine(s, 1), "t  last=error  loss=0.000 %  avg=0.047 ms  p95=0.047 ms  jitter=-  missed=3  errors=2");
  RecentCount missed(std::chrono::seconds(10));
  const std::chrono::steady_clock::time_point t0{};
  const struct {
    int at;
    std::uint64_t total;
    const char* line;
  } cases[] = {
      {0, 0, ""}, {2, 5, "behind schedule: 5 slots missed in the last 10 s"},
      {9, 6, "behind schedule: 6 slots missed in the last 10 s"}, {12, 6, "behind schedule: 1 slot missed in the last 10 s"},
      {30, 6, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(BehindLine(missed.Update(c.total, t0 + std::chrono::seconds(c.at)), missed.Span()), c.line) << c.at;
  }
}

TEST(AgentLiveFrame, RedrawsInPlace) {
  std::size_t drawn = 99;
  // The first frame: each line cleared and written.
  EXPECT_EQ(LiveFrame({"one", "two"}, 0, 80, 24, drawn), "\x1b[2Kone\n\x1b[2Ktwo\n");
  EXPECT_EQ(drawn, 2u);
  // The next goes up over the last one first.
  EXPECT_EQ(LiveFrame({"1", "2"}, 2, 80, 24, drawn), "\r\x1b[2A\x1b[2K1\n\x1b[2K2\n");
  // A shorter block clears the rest of the taller one and comes back up.
  EXPECT_EQ(LiveFrame({"1"}, 3, 80, 24, drawn), "\r\x1b[3A\x1b[2K1\n\x1b[2K\n\x1b[2K\n\x1b[2A");
  EXPECT_EQ(drawn, 1u);
  // Lines never wrap: cut to one less than the width, never inside a UTF-8
  // sequence ("é" is two bytes).
  EXPECT_EQ(LiveFrame({"abcdefghij", "ab\xc3\xa9z"}, 0, 4, 24, drawn),
            "\x1b[2Kabc\n\x1b[2Kab\n");
  // More lines than the terminal has rows: the first rows - 2 and a count.
  EXPECT_EQ(LiveFrame({"1", "2", "3", "4", "5"}, 0, 80, 4, drawn),
            "\x1b[2K1\n\x1b[2K2\n\x1b[2K... and 3 more targets\n");
  EXPECT_EQ(drawn, 3u);
  EXPECT_EQ(ClearLiveFrame(2), "\r\x1b[2A\x1b[2K\n\x1b[2K\n\x1b[2A");
  EXPECT_EQ(ClearLiveFrame(0), "");
}

}  // namespace
}  // namespace quorvel
