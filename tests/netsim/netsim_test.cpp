// quorvel-netsim against what a plain iputils ping sees in its network: every
// reply, duplicate and ICMP error ping prints is one the truth says was
// written, and the other way round; ping's times match the truth's; the same
// seed makes the same choices; set-up failures and bad scenarios are refused
// with exit status 2 and a message.

#include <algorithm>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "agent/childprogram.h"
#include "truth.h"
#include "wiretap.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using netsim::TruthLine;

struct Outcome {
  int status = -1;
  std::string output;
  std::string errors;
  std::vector<TruthLine> truth;
};

class NetsimTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string why = netsim::NetsimUnavailable(QUORVEL_NETSIM);
    if (!why.empty()) {
      if (netsim::NetsimRequired()) FAIL() << "QUORVEL_REQUIRE_NETSIM=1 and " << why;
      GTEST_SKIP() << why;
    }
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::path(QUORVEL_TEST_TMP) / "netsim" / info->name();
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }

  Outcome Simulate(const std::string& scenario, const std::vector<std::string>& command,
               const std::string& seed = "1", const std::vector<std::string>& prefix = {}) {
    const std::string file = (dir_ / ("scenario" + std::to_string(++runs_) + ".json")).string();
    const std::string truth = (dir_ / ("truth" + std::to_string(runs_) + ".jsonl")).string();
    std::ofstream(file) << scenario;
    std::vector<std::string> argv = prefix;
    for (const std::string& a : {std::string(QUORVEL_NETSIM), std::string("--scenario"), file,
                                 std::string("--truth"), truth, std::string("--seed"), seed, std::string("--")}) {
      argv.push_back(a);
    }
    argv.insert(argv.end(), command.begin(), command.end());
    ChildProgram child(argv, {}, dir_.string());
    const ChildProgram::Ended ended = child.Wait(60s);
    Outcome run{ended.status, ended.output, ended.errors, {}};
    std::string error;
    if (fs::exists(truth)) run.truth = netsim::ReadTruth(truth, error);
    EXPECT_EQ(error, "");
    return run;
  }

  fs::path dir_;
  int runs_ = 0;
};

// What ping prints of each packet it receives, as "reply 3", "dup 3" or
// "error 3 198.51.100.1", sorted; and the time of each first reply by
// sequence number.
struct Seen {
  std::vector<std::string> events;
  std::map<int, double> replyMs;
};

Seen WhatPingSaw(const std::string& output) {
  static const std::regex reply(R"(^\d+ bytes from \S+: icmp_seq=(\d+) ttl=\d+ time=([\d.]+) ms( \(DUP!\))?)");
  static const std::regex error(R"(^From (\S+) icmp_seq=(\d+) )");
  Seen seen;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    std::smatch m;
    if (std::regex_search(line, m, reply)) {
      const int seq = std::stoi(m[1]);
      seen.events.push_back((m[3].matched ? "dup " : "reply ") + m[1].str());
      if (!m[3].matched) seen.replyMs[seq] = std::stod(m[2]);
    } else if (std::regex_search(line, m, error)) {
      seen.events.push_back("error " + m[2].str() + " " + m[1].str());
    }
  }
  std::sort(seen.events.begin(), seen.events.end());
  return seen;
}

// What ping must print by the truth: a reply for every echo reply written
// whose checksum and identifier are right (a spoilt payload is printed as
// a reply with "wrong data byte"), "dup" for a second copy, an error line
// for every ICMP error.
Seen WhatTruthSays(const std::vector<TruthLine>& truth) {
  Seen said;
  for (const TruthLine& t : truth) {
    if (t.in) continue;
    const std::string seq = std::to_string(t.seq);
    if (t.type == "echo-reply") {
      if (t.corruption == "checksum" || t.corruption == "identifier") continue;
      said.events.push_back((t.copy == 2 ? "dup " : "reply ") + seq);
      if (t.copy == 1) said.replyMs[t.seq] = static_cast<double>(t.rttNs) / 1e6;
    } else {
      said.events.push_back("error " + seq + " " + t.src);
    }
  }
  std::sort(said.events.begin(), said.events.end());
  return said;
}

constexpr const char* kRouters = R"(
  "routers": {
    "r1": {"address": "198.51.100.1", "delay_ms": 2},
    "r2": {"address": "198.51.100.2", "delay_ms": {"uniform": [1, 3]}, "icmp_per_second": 1},
    "v6r1": {"address": "2001:db8:1::1", "delay_ms": 1}
  },)";

TEST_F(NetsimTest, PingSeesWhatTheTruthSays) {
  struct Case {
    const char* name;
    std::string targets;
    std::vector<std::string> ping;
    std::vector<std::string> errors = {};  // when given: exactly the ICMP errors ping must print
  };
  const std::vector<Case> cases = {
      {"normal delay, Bernoulli loss",
       R"({"address": "192.0.2.10", "profile": {"delay_ms": {"normal": [20, 5]}, "loss": {"bernoulli": 0.3}}})",
       {"-c", "20", "-i", "0.05", "192.0.2.10"}},
      {"IPv6 behind a router, log-normal, silent from 0.5 s",
       R"({"address": "2001:db8::10", "path": ["v6r1"], "profile": {"delay_ms": {"lognormal": [8, 0.3]}},
           "changes": [{"at_ms": 500, "profile": {"silent": true}}]})",
       {"-c", "10", "-i", "0.1", "2001:db8::10"}},
      {"duplicates and the three corruptions in turn",
       R"({"address": "192.0.2.11", "profile": {"delay_ms": {"list": [5, 7, 9]},
           "duplicate": {"pattern": "x...", "after_ms": 1},
           "corrupt": {"pattern": ".x.x.x", "kinds": ["checksum", "identifier", "payload"]}}})",
       {"-c", "12", "-i", "0.05", "192.0.2.11"}},
      {"unreachable from the last router, Gilbert-Elliott, a late reply and a pattern",
       R"({"address": "203.0.113.5", "path": ["r1"], "profile": {"delay_ms": 3,
           "unreachable": {"pattern": "..x"}, "late": {"pattern": "....x", "delay_ms": 150},
           "loss": {"gilbert_elliott": {"p": 0.3, "r": 0.5}}}})",
       {"-c", "15", "-i", "0.03", "203.0.113.5"}},
      {"TTL running out at the second router, one answer a second",
       R"({"address": "192.0.2.20", "path": ["r1", "r2"], "profile": {"delay_ms": 4}})",
       {"-c", "4", "-i", "0.1", "-t", "2", "192.0.2.20"},
       {"error 1 198.51.100.2"}},
      {"every other reply held back behind the next",
       R"({"address": "192.0.2.21", "path": ["r1", "r2"], "profile": {"delay_ms": 4,
           "reorder": {"pattern": "x.", "extra_ms": 40}}})",
       {"-c", "6", "-i", "0.02", "192.0.2.21"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string scenario =
        std::string("{") + kRouters + R"( "targets": [)" + c.targets + "]}";
    std::vector<std::string> ping = {"ping", "-n", "-W", "1"};
    ping.insert(ping.end(), c.ping.begin(), c.ping.end());
    const Outcome run = Simulate(scenario, ping);
    ASSERT_NE(run.status, 2) << run.errors;
    const Seen seen = WhatPingSaw(run.output);
    const Seen said = WhatTruthSays(run.truth);
    EXPECT_EQ(seen.events, said.events) << run.output;
    if (!c.errors.empty()) {
      std::vector<std::string> errors;
      for (const std::string& e : seen.events) {
        if (e.rfind("error ", 0) == 0) errors.push_back(e);
      }
      EXPECT_EQ(errors, c.errors);
    }
    ASSERT_EQ(seen.replyMs.size(), said.replyMs.size());
    // Ping's time includes its own way to the TUN and back: tens of
    // microseconds, more when the machine is busy. It is early only by what
    // its print cuts off (it prints whole ms from 100 ms on, 0.1 ms from
    // 10 ms, 0.01 ms from 1 ms), and its typical excess stays small; a
    // single reply may be late by a scheduling delay.
    std::vector<double> excess;
    for (const auto& [seq, ms] : seen.replyMs) {
      const double truth = said.replyMs.at(seq);
      const double e = ms - truth;
      const double cut = truth >= 100 ? 1 : truth >= 10 ? 0.1 : truth >= 1 ? 0.01 : 0.001;
      EXPECT_GT(e, -cut - 0.05) << "icmp_seq=" << seq;
      EXPECT_LT(e, 50.0) << "icmp_seq=" << seq;
      excess.push_back(e);
    }
    if (!excess.empty()) {
      std::nth_element(excess.begin(), excess.begin() + excess.size() / 2, excess.end());
      EXPECT_LT(excess[excess.size() / 2], 2.0) << "median excess";
    }
    // Every request is in the truth with a fate, at the TTL ping set.
    int requests = 0;
    for (const TruthLine& t : run.truth) requests += t.in && t.type == "echo-request";
    EXPECT_EQ(requests, std::stoi(c.ping[1]));
  }
}

TEST_F(NetsimTest, TheSameSeedMakesTheSameChoices) {
  const std::string scenario = R"({"targets": [{"address": "192.0.2.30",
      "profile": {"delay_ms": {"uniform": [1, 2]}, "loss": {"bernoulli": 0.5}}}]})";
  const std::vector<std::string> ping = {"ping", "-n", "-q", "-c", "30", "-i", "0.01", "-W", "1", "192.0.2.30"};
  auto fates = [](const Outcome& run) {
    std::string f;
    for (const TruthLine& t : run.truth) {
      if (t.in && t.type == "echo-request") f += t.fate == "lost" ? 'x' : '.';
    }
    return f;
  };
  const std::string first = fates(Simulate(scenario, ping, "7"));
  EXPECT_EQ(first.size(), 30u);
  EXPECT_EQ(fates(Simulate(scenario, ping, "7")), first);
  EXPECT_NE(fates(Simulate(scenario, ping, "8")), first);
}

TEST_F(NetsimTest, RefusesWithStatus2AndSaysWhy) {
  struct Case {
    const char* name;
    std::string scenario;
    std::vector<std::string> prefix;
    const char* message;
  };
  const std::string good = R"({"targets": [{"address": "192.0.2.1"}]})";
  const std::vector<Case> cases = {
      {"an address outside the simulated prefixes", R"({"targets": [{"address": "10.0.0.1"}]})", {},
       "targets[0].address: 10.0.0.1 is outside the simulated prefixes"},
      {"a misspelt key", R"({"targets": [{"address": "192.0.2.1", "profile": {"dealy_ms": 3}}]})", {},
       "targets[0].profile: unknown key \"dealy_ms\""},
      {"a profile nobody defined", R"({"targets": [{"address": "192.0.2.1", "profile": "wan"}]})", {},
       "no profile named \"wan\""},
      {"a user who may not make a namespace", good,
       {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"},
       "cannot create a network namespace"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome run = Simulate(c.scenario, {"true"}, "1", c.prefix);
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.errors.find(c.message), std::string::npos) << run.errors;
  }
  // The command's own status comes back, with the truth file named for it.
  const Outcome run = Simulate(good, {"sh", "-c", "test -s \"$QUORVEL_NETSIM_SCENARIO\" && exit 5"});
  EXPECT_EQ(run.status, 5) << run.errors;
}

// The wire tap's times go to the packets they belong to: a packet the
// device dropped after the tap saw it, or two copies alike, do not shift
// the times of those after them.
TEST(StampQueueTest, MatchesByBytesInOrder) {
  using Bytes = std::vector<std::uint8_t>;
  const Bytes a{1, 2, 3}, b{1, 2, 4}, c(200, 7);
  Bytes longer = c;
  longer.push_back(8);
  netsim::StampQueue q;
  for (const auto& [bytes, ns] : {std::pair{a, 10}, {b, 20}, {a, 30}, {c, 40}, {longer, 50}, {a, 60}}) {
    q.Add(bytes, bytes.size(), ns);
  }
  EXPECT_EQ(q.Take(Bytes{9}), std::nullopt);  // never seen: nothing taken
  EXPECT_EQ(q.Take(b), 20);                   // the first a was dropped on the device
  EXPECT_EQ(q.Take(a), 30);
  EXPECT_EQ(q.Take(longer), 50);              // the same first 128 bytes, another size
  EXPECT_EQ(q.Take(a), 60);
  EXPECT_EQ(q.Size(), 0u);
}

}  // namespace
