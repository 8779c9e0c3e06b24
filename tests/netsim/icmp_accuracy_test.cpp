// The ICMP engines (src/icmp) in this process, inside the simulated network:
// run_in_netsim.sh runs IcmpEcho.* with scenarios/icmp_echo.json and
// IcmpPath.* with scenarios/icmp_path.json. Every probe's outcome is
// compared with the truth: losses exactly, late replies as late (once, never
// as replies), duplicates on their own, spoilt replies never as replies,
// each hop's answers (a router that limits its answers is marked, not shown
// as loss on the path) and a changed path. The per-sample error (engine
// less truth) is printed in the words of agent_accuracy_test, beside that of
// a plain iputils ping in the same run, and bounded.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "agent/childprogram.h"
#include "icmp/engine.h"
#include "icmp/pathengine.h"
#include "truth.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace quorvel::icmp;
using netsim::TruthLine;
using netsim::TruthProbe;

// The engine's error against the truth, in ms. Both are the kernel's
// times on the TUN device: the truth's as the packet is handed to the
// device and as the simulator's write delivers it, the engine's as the
// device takes the probe and (the same stamp) as the reply arrives. A
// microsecond apart, whatever the machine is doing; a reply paired with
// the wrong probe is off by a whole interval, user-space times by tens of
// microseconds.
constexpr double kMedianLow = -0.01, kMedianHigh = 0.01, kP99Bound = 0.2;

void CheckErrors(const netsim::SampleErrors& errors) {
  EXPECT_GE(netsim::Quantile(errors.ms, 0.5), kMedianLow);
  EXPECT_LE(netsim::Quantile(errors.ms, 0.5), kMedianHigh);
  EXPECT_LE(netsim::Quantile(errors.ms, 0.99), kP99Bound);
}

// Plain pings to these run beside the engine; the engine leaves them alone.
const std::vector<std::string> kReferences = {"192.0.2.201", "2001:db8::201"};

// The scenario's targets but the references, each block of `count`
// expanded to its addresses.
std::vector<std::string> ScenarioTargets() {
  return netsim::ScenarioAddresses(std::getenv("QUORVEL_NETSIM_SCENARIO"), kReferences);
}

std::map<std::string, std::vector<TruthProbe>> TruthByTarget() {
  std::this_thread::sleep_for(300ms);  // the simulator's last lines
  std::string error;
  const auto lines = netsim::ReadTruth(std::getenv("QUORVEL_NETSIM_TRUTH"), error);
  EXPECT_EQ(error, "");
  return netsim::ProbesByTarget(lines);
}

class Inside : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv("QUORVEL_NETSIM_TRUTH") == nullptr) {
      const std::string why = "not inside quorvel-netsim: run through run_in_netsim.sh (ctest does)";
      if (netsim::NetsimRequired()) FAIL() << why;
      GTEST_SKIP() << why;
    }
    dir_ = fs::path(QUORVEL_TEST_TMP) / "netsim" / ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::create_directories(dir_);
  }
  // Plain pings to the references, `count` at 50 ms.
  void StartReferences(int count) {
    for (const std::string& r : kReferences) {
      pings_.push_back(std::make_unique<ChildProgram>(
          std::vector<std::string>{"ping", "-n", "-i", "0.05", "-c", std::to_string(count), "-W", "1", r},
          std::vector<std::string>{}, dir_.string()));
    }
  }
  void WaitReferences() {
    for (auto& p : pings_) outputs_.push_back(p->Wait(30s).output);
  }
  // Their errors against `truth`, printed beside the engine's.
  void PrintReferences(const std::map<std::string, std::vector<TruthProbe>>& truth) {
    for (std::size_t r = 0; r < outputs_.size(); ++r) {
      std::printf("per-sample error (measured - truth), plain iputils ping to %s: %s\n", kReferences[r].c_str(),
                  netsim::PingErrors(outputs_[r], truth.at(kReferences[r])).Describe().c_str());
    }
  }
  fs::path dir_;
  std::vector<std::unique_ptr<ChildProgram>> pings_;
  std::vector<std::string> outputs_;
};

using IcmpEcho = Inside;
using IcmpPath = Inside;

constexpr std::uint64_t kProbes = 100;
constexpr auto kTimeout = 200ms;

TEST_F(IcmpEcho, EveryProbeEndsAsTheTruthSays) {
  const std::vector<std::string> targets = ScenarioTargets();
  std::vector<Address> addresses;
  for (const std::string& t : targets) addresses.push_back(boost::asio::ip::make_address(t));

  // The engine runs on past kProbes, so that every late reply and copy to
  // the first kProbes of each target is in before it stops.
  EchoOptions options;
  options.interval = 50ms;
  options.timeout = kTimeout;
  std::mutex mutex;
  std::map<std::pair<std::uint32_t, std::uint64_t>, std::vector<Outcome>> events;
  std::map<std::pair<std::uint32_t, std::uint64_t>, std::int64_t> rtts;
  EchoEngine engine(options, addresses, [&](const ProbeResult& r) {
    std::lock_guard<std::mutex> lock(mutex);
    events[{r.target, r.sequence}].push_back(r.outcome);
    if (r.outcome == Outcome::Reply) rtts[{r.target, r.sequence}] = r.rttNs;
  });
  const EngineStatus status = engine.Start();
  ASSERT_TRUE(status.Ok()) << status.message;
  StartReferences(kProbes);
  std::this_thread::sleep_for(kProbes * options.interval + 1s);
  engine.Stop();
  engine.Wait();
  EXPECT_EQ(EngineStamps(engine.Info()), StampSource::Kernel) << DescribeEngine(engine.Info());
  const EchoCounters counters = engine.Counters();
  WaitReferences();
  const auto truth = TruthByTarget();

  netsim::SampleErrors errors[2];  // IPv4, IPv6
  std::map<std::string, int> fates;
  std::size_t spoiltPayloads = 0;
  for (const auto& [target, probes] : truth) {
    for (const TruthProbe& p : probes) {
      for (const TruthLine& a : p.answers) spoiltPayloads += a.corruption == "payload";
    }
  }
  for (std::uint32_t i = 0; i < targets.size(); ++i) {
    SCOPED_TRACE(targets[i]);
    const std::vector<TruthProbe>& probes = truth.at(targets[i]);
    ASSERT_GE(probes.size(), kProbes);
    for (std::uint64_t k = 0; k < kProbes; ++k) {
      const TruthProbe& p = probes[k];
      ASSERT_EQ(p.request.seq, static_cast<int>(k));
      // What a correct prober reports: the first good reply in time, or
      // the loss and then (once) the late reply; every further good copy a
      // duplicate; spoilt replies nothing.
      std::size_t good = 0;
      bool unreachable = false;
      for (const TruthLine& a : p.answers) {
        good += a.type == "echo-reply" && a.corruption.empty();
        unreachable |= a.type == "unreachable";
      }
      const auto rtt = p.RttWithin(std::chrono::nanoseconds(kTimeout).count());
      std::vector<Outcome> expected;
      if (rtt) {
        expected = {Outcome::Reply};
      } else if (unreachable) {
        expected = {Outcome::Error};
      } else {
        expected = {Outcome::Lost};
        if (good > 0) expected.push_back(Outcome::Late);
      }
      for (std::size_t copy = 1; copy < good; ++copy) expected.push_back(Outcome::Duplicate);
      ++fates[p.request.fate + (p.request.corruption.empty() ? "" : " " + p.request.corruption)];
      ASSERT_EQ(events[std::pair(i, k)], expected) << "probe " << k << ": " << p.request.fate << " " << p.request.corruption;
      if (rtt) {
        const bool v6 = targets[i].find(':') != std::string::npos;
        errors[v6].ms.push_back(static_cast<double>(rtts.at(std::pair(i, k)) - *rtt) / 1e6);
      }
    }
  }
  // Payloads spoilt are read and refused; other spoilt replies never reach
  // the socket (the kernel drops a bad checksum and a foreign identifier).
  EXPECT_EQ(counters.invalid, spoiltPayloads);
  EXPECT_EQ(counters.foreign + counters.stale + counters.sendErrors, 0u);
  for (const char* fate : {"lost", "late", "duplicated", "corrupted payload", "corrupted identifier",
                           "corrupted checksum", "unreachable"}) {
    EXPECT_GT(fates[fate], 0) << "the scenario put no " << fate << " in the way";
  }

  std::printf("per-sample error (measured - truth), ICMP echo engine, IPv4: %s\n", errors[0].Describe().c_str());
  std::printf("per-sample error (measured - truth), ICMP echo engine, IPv6: %s\n", errors[1].Describe().c_str());
  PrintReferences(truth);
  CheckErrors(errors[0]);
  CheckErrors(errors[1]);
}

TEST_F(IcmpPath, HopsAnswerAsTheTruthSaysWithTheLimitedRouterMarked) {
  const std::vector<std::string> targets = ScenarioTargets();
  std::vector<Address> addresses;
  for (const std::string& t : targets) addresses.push_back(boost::asio::ip::make_address(t));
  PathOptions options;
  options.interval = 200ms;
  options.timeout = 1s;
  options.rounds = 30;
  options.maxHops = 8;
  std::mutex mutex;
  std::vector<HopResult> rows;
  PathEngine engine(options, addresses, [&](const HopResult& r) {
    std::lock_guard<std::mutex> lock(mutex);
    rows.push_back(r);
  });
  const EngineStatus status = engine.Start();
  ASSERT_TRUE(status.Ok()) << status.message;
  engine.Wait();
  const std::vector<PathSnapshot> paths = engine.Snapshot();
  const auto truth = TruthByTarget();

  netsim::SampleErrors errors;
  for (std::uint32_t i = 0; i < targets.size(); ++i) {
    SCOPED_TRACE(targets[i]);
    const PathSnapshot& path = paths[i];
    ASSERT_TRUE(path.reached);
    for (const HopFigures& hop : path.hops) {
      // The truth's probes with this TTL in arrival order are the rounds.
      std::vector<const TruthProbe*> sent;
      for (const TruthProbe& p : truth.at(targets[i])) {
        if (p.request.ttl == hop.hop) sent.push_back(&p);
      }
      std::vector<const HopResult*> got;
      for (const HopResult& r : rows) {
        if (r.target == i && r.hop == hop.hop) got.push_back(&r);
      }
      std::sort(got.begin(), got.end(), [](auto* a, auto* b) { return a->round < b->round; });
      ASSERT_EQ(got.size(), options.rounds) << "hop " << hop.hop;
      ASSERT_EQ(sent.size(), options.rounds) << "hop " << hop.hop;
      std::uint64_t answered = 0;
      for (std::size_t r = 0; r < got.size(); ++r) {
        const auto& answers = sent[r]->answers;
        const bool answer = !answers.empty() && answers[0].rttNs <= std::chrono::nanoseconds(options.timeout).count();
        const HopResult::Kind expected = !answer                               ? HopResult::Kind::Lost
                                         : answers[0].type == "time-exceeded" ? HopResult::Kind::TimeExceeded
                                                                              : HopResult::Kind::Reply;
        ASSERT_EQ(got[r]->kind, expected) << "hop " << hop.hop << " round " << r << ": " << sent[r]->request.fate << " "
                                          << sent[r]->request.reason;
        if (!answer) continue;
        ++answered;
        EXPECT_EQ(got[r]->from.to_string(), answers[0].src);
        errors.ms.push_back(static_cast<double>(got[r]->rttNs - answers[0].rttNs) / 1e6);
      }
      EXPECT_EQ(hop.figures.received, answered) << "hop " << hop.hop;
      // Only the router that limits its answers (the second hop of the
      // first two paths) loses any, and it is marked for it.
      const bool limited = i < 2 && hop.hop == 2;
      EXPECT_EQ(hop.rateLimited, limited) << "hop " << hop.hop;
      EXPECT_EQ(hop.figures.lossPercent > 50, limited) << "hop " << hop.hop << ": " << hop.figures.lossPercent;
    }
    if (i < 2) {
      EXPECT_EQ(path.hops.size(), 4u);
      EXPECT_EQ(path.pathChanges, 0u);
    } else {
      // The second router was replaced three seconds in.
      ASSERT_EQ(path.hops.size(), 3u);
      const HopFigures& second = path.hops[1];
      const bool v6 = i == 3;
      EXPECT_EQ(second.seen, (std::vector<Address>{boost::asio::ip::make_address(v6 ? "2001:db8:ffff::4" : "198.51.100.4"),
                                                   boost::asio::ip::make_address(v6 ? "2001:db8:ffff::5" : "198.51.100.5")}));
      EXPECT_EQ(second.changes, 1u);
      EXPECT_EQ(path.pathChanges, 1u);
    }
  }
  std::printf("per-sample error (measured - truth), ICMP path engine, hops and targets: %s\n",
              errors.Describe().c_str());
  CheckErrors(errors);
}

}  // namespace
