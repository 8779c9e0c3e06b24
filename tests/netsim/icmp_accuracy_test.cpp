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
#include <regex>
#include <sstream>
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

// The engine's error against the truth, in ms: its kernel stamps are taken
// as a probe enters the TUN device and as a reply leaves it, the truth's as
// the simulator reads the probe and just before it writes the reply, so the
// engine sees a little more than the truth. The tail is the simulator's
// own: when the machine is busy it reads a probe late (iputils beside the
// engine shows the same p99, 1-2 ms on a busy two-core machine), while a
// reply paired with the wrong probe would be off by a whole interval.
constexpr double kMedianLow = 0, kMedianHigh = 0.25, kP99Bound = 3.0;

struct Errors {
  std::vector<double> ms;
  std::string Describe() const {
    double worst = 0;
    for (double e : ms) worst = std::max(worst, std::abs(e));
    char text[128];
    std::snprintf(text, sizeof text, "median %+.3f ms, p99 %+.3f ms, max |e| %.3f ms over %zu samples",
                  netsim::Quantile(ms, 0.5), netsim::Quantile(ms, 0.99), worst, ms.size());
    return text;
  }
  // `referenceP99`: plain ping's p99 in the same run. A machine that holds
  // the simulator up delays every reply alike, so the tail may reach the
  // reference's and 1 ms more.
  void Check(double referenceP99 = 0) const {
    EXPECT_GE(netsim::Quantile(ms, 0.5), kMedianLow);
    EXPECT_LE(netsim::Quantile(ms, 0.5), kMedianHigh);
    EXPECT_LE(netsim::Quantile(ms, 0.99), std::max(kP99Bound, referenceP99 + 1.0));
  }
};

// The scenario's targets, each block of `count` expanded to its addresses.
std::vector<std::string> ScenarioTargets() {
  return netsim::ScenarioAddresses(std::getenv("QUORVEL_NETSIM_SCENARIO"));
}

std::map<std::string, std::vector<TruthProbe>> TruthByTarget() {
  std::this_thread::sleep_for(300ms);  // the simulator's last lines
  std::string error;
  const auto lines = netsim::ReadTruth(std::getenv("QUORVEL_NETSIM_TRUTH"), error);
  EXPECT_EQ(error, "");
  return netsim::ProbesByTarget(lines);
}

// iputils ping's error against the truth, from the times it printed.
Errors PingErrors(const std::string& output, const std::vector<TruthProbe>& truth) {
  Errors errors;
  static const std::regex reply(R"(icmp_seq=(\d+) ttl=\d+ time=([\d.]+) ms$)");
  std::istringstream in(output);
  for (std::string line; std::getline(in, line);) {
    std::smatch m;
    if (!std::regex_search(line, m, reply)) continue;
    for (const TruthProbe& p : truth) {
      const auto rtt = p.RttWithin(1'000'000'000);
      if (p.request.seq == std::stoi(m[1]) && rtt) errors.ms.push_back(std::stod(m[2]) - static_cast<double>(*rtt) / 1e6);
    }
  }
  return errors;
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
  std::unique_ptr<ChildProgram> Ping(const std::string& target, int count, const char* interval) {
    return std::make_unique<ChildProgram>(
        std::vector<std::string>{"ping", "-n", "-i", interval, "-c", std::to_string(count), "-W", "1", target},
        std::vector<std::string>{}, dir_.string());
  }
  fs::path dir_;
};

using IcmpEcho = Inside;
using IcmpPath = Inside;

constexpr std::uint64_t kProbes = 100;
constexpr auto kTimeout = 200ms;

TEST_F(IcmpEcho, EveryProbeEndsAsTheTruthSays) {
  const std::vector<std::string> references = {"192.0.2.201", "2001:db8::201"};
  std::vector<std::string> targets;
  for (const std::string& t : ScenarioTargets()) {
    if (std::find(references.begin(), references.end(), t) == references.end()) targets.push_back(t);
  }
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
  std::vector<std::unique_ptr<ChildProgram>> pings;
  for (const std::string& r : references) pings.push_back(Ping(r, kProbes, "0.05"));
  std::this_thread::sleep_for(kProbes * options.interval + 1s);
  engine.Stop();
  engine.Wait();
  EXPECT_EQ(EngineStamps(engine.Info()), StampSource::Kernel) << DescribeEngine(engine.Info());
  const EchoCounters counters = engine.Counters();
  std::vector<std::string> outputs;
  for (auto& p : pings) outputs.push_back(p->Wait(30s).output);
  const auto truth = TruthByTarget();

  Errors errors[2];  // IPv4, IPv6
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
  double referenceP99 = 0;
  for (std::size_t r = 0; r < references.size(); ++r) {
    const Errors reference = PingErrors(outputs[r], truth.at(references[r]));
    std::printf("per-sample error (measured - truth), plain iputils ping to %s: %s\n", references[r].c_str(),
                reference.Describe().c_str());
    referenceP99 = std::max(referenceP99, netsim::Quantile(reference.ms, 0.99));
  }
  errors[0].Check(referenceP99);
  errors[1].Check(referenceP99);
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

  Errors errors;
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
  errors.Check();
}

}  // namespace
