#include "agent/agent.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <cstdio>
#include <fstream>
#include <map>
#include <thread>

#include <unistd.h>

#include "agent/agentweb.h"
#include "common/fixedclock.h"

namespace quorvel {
namespace {

using namespace std::chrono_literals;

TEST(NextSlot, SkipsOnlyTheSlotsAnOverrunMissed) {
  const auto ms = [](int v) { return std::chrono::steady_clock::duration(std::chrono::milliseconds(v)); };
  const struct {
    std::uint64_t done;
    int elapsedMs;
    std::uint64_t next;
  } cases[] = {
      {0, 5, 1},        // an ordinary probe: the next slot
      {0, 1000, 1},     // ended right as the next slot begins
      {0, 1001, 2},     // overran slot 1 by a hair: slot 2
      {0, 10'800, 11},  // killed at its bound: slots 1..10 are skipped
      {4, 5'200, 6},    // slot 5 had begun: slot 6
      {7, 7'999, 8},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(NextSlot(c.done, ms(c.elapsedMs), 1000ms), c.next) << c.done << " " << c.elapsedMs;
  }
  EXPECT_EQ(NextSlot(0, ms(450), 200ms), 3u);
}

AgentOptions Options(std::vector<std::string> targets, std::optional<std::uint64_t> count) {
  AgentOptions o;
  o.engine = EngineChoice::Ping;  // the probes are the tests' own
  o.interval = 200ms;
  o.timeoutMs = 100;
  o.count = count;
  o.targets = std::move(targets);
  return o;
}

ProbeResult Reply(std::int64_t micros) {
  ProbeResult r;
  r.outcome = ProbeResult::Outcome::Reply;
  r.rttNanos = micros * 1000;
  return r;
}

// A target whose probes hang must not hold up another's: the slow target's
// first probe does not end until the quick target has made all its probes.
// If the loops waited for each other, the quick one could never finish and
// the slow probe would give up after its safety time.
TEST(AgentLoops, AHangingTargetNeverDelaysAnother) {
  std::mutex mutex;
  std::condition_variable changed;
  int quickDone = 0;
  bool slowGaveUp = false;
  AgentDependencies d;
  d.clock = std::make_shared<FixedClock>();
  d.probe = [&](const ProbeRequest& request) {
    const std::string& target = request.target;
    if (target == "quick") {
      std::lock_guard<std::mutex> lock(mutex);
      ++quickDone;
      changed.notify_all();
      return Reply(250);
    }
    std::unique_lock<std::mutex> lock(mutex);
    if (!changed.wait_for(lock, 5s, [&] { return quickDone >= 5; })) slowGaveUp = true;
    return ProbeResult{};  // lost
  };
  Agent agent(Options({"slow", "quick"}, 5), d, {});
  std::string error;
  ASSERT_TRUE(agent.Start(error)) << error;
  agent.Wait();
  EXPECT_FALSE(slowGaveUp);
  const auto snapshots = agent.Snapshot();
  ASSERT_EQ(snapshots.size(), 2u);
  EXPECT_EQ(snapshots[0].target, "slow");
  EXPECT_EQ(snapshots[0].summary.sent, 5u);
  EXPECT_EQ(snapshots[0].summary.received, 0u);
  EXPECT_EQ(snapshots[1].summary.sent, 5u);
  EXPECT_EQ(snapshots[1].summary.received, 5u);
  EXPECT_EQ(agent.Metrics()[1].durations.SumMicros(), 5 * 250);
  EXPECT_TRUE(agent.Finished());
}

// Stopping: sleeping loops wake, a probe in progress is told through its
// step callback, which kills the children; the probe it ended is not
// counted as a loss.
TEST(AgentLoops, StopEndsAProbeInProgressWithoutCountingIt) {
  std::atomic<bool> killed{false};
  std::atomic<int> started{0};
  AgentDependencies d;
  d.clock = std::make_shared<FixedClock>();
  d.probe = [&](const ProbeRequest& request) {
    if (request.target == "quick") return Reply(100);
    ++started;
    // A child that only ends when it is killed (with a safety bound).
    for (int i = 0; i < 400 && !killed; ++i) {
      std::this_thread::sleep_for(50ms);
      if (request.stopping()) killed = true;
    }
    return ProbeResult{};
  };
  Agent agent(Options({"hung", "quick"}, std::nullopt), d, {});
  std::string error;
  ASSERT_TRUE(agent.Start(error)) << error;
  while (started == 0 || agent.Snapshot()[1].summary.sent < 2) std::this_thread::sleep_for(10ms);
  const auto asked = std::chrono::steady_clock::now();
  agent.RequestStop();
  agent.Wait();
  EXPECT_LT(std::chrono::steady_clock::now() - asked, 2s);
  EXPECT_TRUE(killed);
  EXPECT_TRUE(agent.Finished());
  EXPECT_EQ(agent.Snapshot()[0].summary.sent, 0u);  // the killed probe is not a loss
  EXPECT_GE(agent.Snapshot()[1].summary.sent, 2u);
}

// A probe that ends while a stop signal is pending but not yet read (the
// child died of the same Ctrl-C) is dropped, and the loop ends.
TEST(AgentLoops, AProbeEndedByAPendingStopIsNotALoss) {
  std::atomic<bool> pending{false};
  AgentDependencies d;
  d.clock = std::make_shared<FixedClock>();
  d.stopPending = [&] { return pending.load(); };
  d.probe = [&](const ProbeRequest&) {
    pending = true;
    return ProbeResult{};  // lost, as a ping killed by SIGINT looks
  };
  Agent agent(Options({"a"}, 3), d, {});
  std::string error;
  ASSERT_TRUE(agent.Start(error)) << error;
  agent.Wait();
  EXPECT_EQ(agent.Snapshot()[0].summary.sent, 0u);  // ended at the first probe, dropped
}

TEST(AgentLoops, ARowThatCannotBeWrittenStopsEveryLoop) {
  std::string error;
  auto full = RowOutput::Open("/dev/full", ExportFormat::JsonLines, error);
  ASSERT_TRUE(full) << error;
  AgentDependencies d;
  d.clock = std::make_shared<FixedClock>();
  d.probe = [](const ProbeRequest&) { return Reply(100); };
  Agent agent(Options({"a", "b"}, std::nullopt), d, {full.get()});
  ASSERT_TRUE(agent.Start(error)) << error;
  agent.Wait();  // ends by itself
  EXPECT_TRUE(agent.Finished());
  EXPECT_EQ(agent.WriteError(), "/dev/full: No space left on device");
}

TEST(AgentLoops, RowsCarryTheTargetAndTheTimeTheProbeBegan) {
  const std::string path = std::string(QUORVEL_TEST_TMP) + "/agent-rows-" + std::to_string(::getpid()) + ".csv";
  std::remove(path.c_str());
  std::string error;
  {
    auto csv = RowOutput::Open(path, ExportFormat::Csv, error);
    ASSERT_TRUE(csv) << error;
    auto clock = std::make_shared<FixedClock>();
    clock->time.unixMs = 1'733'666'709'123;
    clock->time.utcOffsetSeconds = 3600;
    AgentDependencies d;
    d.clock = clock;
    d.probe = [](const ProbeRequest&) { return Reply(12'345); };
    Agent agent(Options({"t"}, 2), d, {csv.get()});
    ASSERT_TRUE(agent.Start(error)) << error;
    agent.Wait();
  }
  std::FILE* f = std::fopen(path.c_str(), "rb");
  ASSERT_TRUE(f);
  char buffer[1024];
  const std::size_t n = std::fread(buffer, 1, sizeof buffer, f);
  std::fclose(f);
  std::remove(path.c_str());
  const std::string row = "t,2024-12-08T15:05:09.123+01:00,1733666709123,12.345,0,12\r\n";
  EXPECT_EQ(std::string(buffer, n), "target,time,unix_ms,reply_ms,lost,plotted_ms\r\n" + row + row);
}

// Every way a probe can end, in one run: a reply within the timeout; one
// after it (lost, judged on the measured round trip); a spoilt reply (lost,
// and counted so); probes that could not be made (errors by reason, neither
// sent nor lost, JSON lines of their own); a name that does not resolve.
TEST(AgentLoops, ErrorsAreNotLossesAndLateOrSpoiltRepliesAreLost) {
  const std::string path = std::string(QUORVEL_TEST_TMP) + "/agent-errors-" + std::to_string(::getpid()) + ".jsonl";
  std::remove(path.c_str());
  std::string error;
  auto json = RowOutput::Open(path, ExportFormat::JsonLines, error);
  ASSERT_TRUE(json) << error;
  ProbeResult failed, spoilt, unknown;
  failed.outcome = ProbeResult::Outcome::Failed;
  failed.reason = "Too many open files";
  spoilt.corrupted = true;
  unknown.outcome = ProbeResult::Outcome::UnknownHost;
  const std::vector<ProbeResult> script = {Reply(250), failed, spoilt, Reply(100'001), unknown, Reply(100'000)};
  std::atomic<std::size_t> next{0};
  AgentDependencies d;
  d.clock = std::make_shared<FixedClock>();
  d.probe = [&](const ProbeRequest& request) {
    EXPECT_EQ(request.waitMs, 150);  // the 100 ms timeout and the slack up to 50 ms before the next slot
    return script[next++];
  };
  Agent agent(Options({"t"}, script.size()), d, {json.get()});
  ASSERT_TRUE(agent.Start(error)) << error;
  agent.Wait();
  const TargetSnapshot s = agent.Snapshot()[0];
  EXPECT_EQ(s.summary.sent, 4u);
  EXPECT_EQ(s.summary.received, 2u);
  EXPECT_EQ(s.corrupted, 1u);
  const std::map<std::string, std::uint64_t> reasons = {{"Too many open files", 1}, {"unknown host", 1}};
  EXPECT_EQ(s.errors, reasons);
  const TargetMetrics m = agent.Metrics()[0];
  EXPECT_EQ(m.corrupted, 1u);
  EXPECT_EQ(m.errors, (std::vector<std::pair<std::string, std::uint64_t>>(reasons.begin(), reasons.end())));
  std::ifstream lines(path);
  std::vector<std::string> kinds;
  for (std::string line; std::getline(lines, line);) {
    const std::size_t at = line.find("\"reason\":");
    kinds.push_back(at == std::string::npos ? "probe" : line.substr(at + 9));
  }
  EXPECT_EQ(kinds, (std::vector<std::string>{"probe", "\"Too many open files\"}", "probe", "probe",
                                             "\"unknown host\"}", "probe"}));
  std::remove(path.c_str());
}

// A probe that overruns its interval: the slots it ran past are missed and
// counted, in the snapshot and in the exposition.
TEST(AgentLoops, SlotsAnOverrunSkipsAreCounted) {
  std::atomic<int> calls{0};
  AgentDependencies d;
  d.clock = std::make_shared<FixedClock>();
  d.probe = [&](const ProbeRequest&) {
    if (calls++ == 0) std::this_thread::sleep_for(450ms);  // past slots 1 and 2 of 0.2 s
    return Reply(100);
  };
  Agent agent(Options({"t"}, 2), d, {});
  std::string error;
  ASSERT_TRUE(agent.Start(error)) << error;
  agent.Wait();
  EXPECT_GE(agent.Snapshot()[0].missedSlots, 2u);
  EXPECT_EQ(agent.Metrics()[0].missedSlots, agent.Snapshot()[0].missedSlots);
}

// One AlertEngine per target fed every probe: "3 lost in a row" raises once
// at the third loss and clears once at the next reply, "50 % of the last 4"
// raises at the second loss and still holds at the end; the events reach
// onAlert, and the state shows in the snapshot and the exposition.
TEST(AgentLoops, AlertRulesRaiseAndClearOncePerTarget) {
  AgentOptions o = Options({"a"}, 7);
  o.alerts = {ParseAlertRule("lost>=3").rule, ParseAlertRule("loss>=50%/4").rule};
  const std::vector<bool> answered = {true, false, false, false, false, true, true};
  std::atomic<std::size_t> next{0};
  std::vector<std::string> events;
  AgentDependencies d;
  d.clock = std::make_shared<FixedClock>();
  d.probe = [&](const ProbeRequest&) { return answered[next++] ? Reply(100) : ProbeResult{}; };
  d.onAlert = [&](const AlertEvent& e) {
    events.push_back(std::string(AlertEventTypeName(e.type)) + " " + e.rule + " at " + std::to_string(next.load()));
  };
  Agent agent(o, d, {});
  std::string error;
  ASSERT_TRUE(agent.Start(error)) << error;
  agent.Wait();
  EXPECT_EQ(events, (std::vector<std::string>{"raised loss>=50%/4 at 3", "raised lost>=3 at 4",
                                              "cleared lost>=3 at 6"}));
  // Two of the last four lost: the loss rule still holds at the end.
  const std::vector<AlertState> end = agent.Snapshot()[0].alerts;
  ASSERT_EQ(end.size(), 2u);
  EXPECT_FALSE(end[0].active);
  EXPECT_TRUE(end[1].active);
  EXPECT_EQ(end[1].description, "2 of the last 4 probes lost (50.000 %)");
  EXPECT_EQ(agent.Metrics()[0].alerts,
            (std::vector<std::pair<std::string, bool>>{{"lost>=3", false}, {"loss>=50%/4", true}}));
}

TEST(AgentWeb, MetricsIndexAndNotFound) {
  int asked = 0;
  const auto metrics = [&] {
    ++asked;
    TargetMetrics t;
    t.host = "127.0.0.1";
    t.requests = 2;
    return std::vector<TargetMetrics>{t};
  };
  const struct {
    const char* method;
    const char* target;
    int status;
    const char* contentType;
    bool head;
    int scrapes;  // calls of the metrics source
  } cases[] = {
      {"GET", "/metrics", 200, "text/plain; version=0.0.4", false, 1},
      {"GET", "/metrics?name[]=x", 200, "text/plain; version=0.0.4", false, 1},
      {"HEAD", "/metrics", 200, "text/plain; version=0.0.4", true, 1},
      {"GET", "/", 200, "text/html", false, 0},
      {"GET", "/metrics/", 404, "text/html", false, 0},
      {"GET", "/Metrics", 404, "text/html", false, 0},
      {"GET", "/quorvel.jpg", 404, "text/html", false, 0},
      {"POST", "/metrics", 405, "text/html", false, 0},
      {"DELETE", "/", 405, "text/html", false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.method) + " " + c.target);
    const int before = asked;
    const WebReply reply = AgentWebReply({c.method, c.target, std::nullopt}, metrics);
    EXPECT_EQ(reply.status, c.status);
    EXPECT_EQ(reply.contentType, c.contentType);
    EXPECT_EQ(reply.headOnly, c.head);
    EXPECT_FALSE(reply.closeWithoutReply);
    EXPECT_EQ(reply.allow, c.status == 405 ? "GET, HEAD" : "");
    EXPECT_EQ(asked - before, c.scrapes);
  }
  const WebReply page = AgentWebReply({"GET", "/", std::nullopt}, metrics);
  EXPECT_NE(page.text.find("<a href=\"/metrics\">"), std::string::npos);
  const WebReply scrape = AgentWebReply({"GET", "/metrics", std::nullopt}, metrics);
  EXPECT_EQ(scrape.text, FormatMetrics(metrics()) + FormatProbeAccountingMetrics(metrics()));
  // The program's own figures follow the targets'.
  const WebReply more = AgentWebReply({"GET", "/metrics", std::nullopt}, metrics, [] { return "# more\n"; });
  EXPECT_EQ(more.text, FormatMetrics(metrics()) + FormatProbeAccountingMetrics(metrics()) + "# more\n");
}

}  // namespace
}  // namespace quorvel
