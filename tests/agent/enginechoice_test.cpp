// Which engine the agent runs: the ICMP engine where a socket opens, else
// (auto) the ping child with a line naming both remedies, or (icmp) a
// failure with a status of its own. The sockets are refused by a fake opener.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "agent/agent.h"
#include "agent/enginemetrics.h"
#include "agent/targetaddress.h"
#include "common/fixedclock.h"

namespace quorvel {
namespace {

using namespace std::chrono_literals;

icmp::SocketOpen Refuse(icmp::Family family, icmp::SocketPreference, icmp::SocketSizing) {
  icmp::SocketOpen open;
  open.status = icmp::SocketOpen::Status::NoPermission;
  open.message = icmp::NoPermissionMessage(family);
  return open;
}

TEST(EngineChoice, WithoutASocketAutoFallsBackToPingAndIcmpFails) {
  const struct {
    EngineChoice choice;
    std::chrono::milliseconds interval;
    bool started;
    int status;  // on failure
  } cases[] = {
      {EngineChoice::Auto, 200ms, true, 0},
      {EngineChoice::Icmp, 200ms, false, kExitNoIcmpSocket},
      // The ping child cannot go below 0.2 s: nothing to fall back to.
      {EngineChoice::Auto, 50ms, false, kExitNoIcmpSocket},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.choice));
    AgentOptions o;
    o.engine = c.choice;
    o.interval = c.interval;
    o.timeoutMs = 20;
    o.count = 2;
    o.targets = {"127.0.0.1", "::1"};
    std::atomic<int> probes{0};
    std::string complaints;
    AgentDependencies d;
    d.clock = std::make_shared<FixedClock>();
    d.engine.openSocket = Refuse;
    d.probe = [&](const ProbeRequest&) {
      ++probes;
      ProbeResult r;
      r.outcome = ProbeResult::Outcome::Reply;
      r.rttNanos = 5000;
      return r;
    };
    d.complain = [&](const std::string& line) { complaints += line; };
    Agent agent(o, d, {});
    std::string error;
    int status = 0;
    ASSERT_EQ(agent.Start(error, status), c.started) << error;
    agent.Wait();
    // Both remedies are named, whichever way it went.
    const std::string said = c.started ? complaints : error;
    EXPECT_NE(said.find("net.ipv4.ping_group_range"), std::string::npos) << said;
    EXPECT_NE(said.find("setcap cap_net_raw+ep"), std::string::npos) << said;
    if (c.started) {
      EXPECT_EQ(agent.Engine().engine, "ping");
      EXPECT_EQ(probes.load(), 4);
      EXPECT_EQ(agent.Snapshot()[1].summary.received, 2u);
    } else {
      EXPECT_EQ(status, c.status);
      EXPECT_EQ(probes.load(), 0);
    }
  }
}

// A name is resolved before the engine starts; one that does not resolve is
// said once and counted once as "unknown host", and never probed.
TEST(EngineChoice, TheEngineResolvesNamesFirst) {
  AgentOptions o;
  o.engine = EngineChoice::Icmp;
  o.count = 3;
  o.targets = {"nosuch.invalid"};
  AgentDependencies d;
  d.clock = std::make_shared<FixedClock>();
  d.engine.openSocket = Refuse;  // never asked: no target is left to probe
  d.resolve = [](const std::string&, int) { return std::optional<icmp::Address>(); };
  std::string complaints;
  d.complain = [&](const std::string& line) { complaints += line; };
  Agent agent(o, d, {});
  std::string error;
  ASSERT_TRUE(agent.Start(error)) << error;
  EXPECT_TRUE(agent.Finished());
  agent.Wait();
  EXPECT_EQ(complaints, "quorvel-agent: nosuch.invalid: the name does not resolve\n");
  const TargetSnapshot s = agent.Snapshot()[0];
  EXPECT_EQ(s.unknownHost, 1u);
  EXPECT_EQ(s.summary.sent, 0u);
  EXPECT_EQ(ExitStatus({s}), kExitUnknownHost);
}

// A name server that never answers holds the start up for the bound at
// most, and a stop not even that long; the other names still resolve.
TEST(EngineChoice, NamesResolveWithinABoundAndAStop) {
  const icmp::Address answer = boost::asio::ip::make_address("192.0.2.7");
  const TargetResolver resolver = [answer](const std::string& name, int) -> std::optional<icmp::Address> {
    if (name == "hangs") std::this_thread::sleep_for(30s);
    if (name == "127.0.0.1") return boost::asio::ip::make_address(name);
    return answer;
  };
  const std::vector<std::string> targets = {"hangs", "fine", "127.0.0.1"};
  for (const bool stop : {false, true}) {
    const auto began = std::chrono::steady_clock::now();
    const auto found = ResolveTargets(targets, 0, resolver, stop ? 20s : 300ms, [stop] { return stop; });
    EXPECT_LT(std::chrono::steady_clock::now() - began, 5s);
    ASSERT_EQ(found.size(), 3u);
    EXPECT_FALSE(found[0]);
    EXPECT_EQ(found[2], boost::asio::ip::make_address("127.0.0.1"));
    if (!stop) {
      EXPECT_EQ(found[1], answer);
    }
  }
}

TEST(EngineMetrics, InfoAndTheEngineCounters) {
  EngineFigures ping;
  EXPECT_EQ(FormatEngineMetrics(ping, {}),
            "# HELP quorvel_engine_info The engine that probes: its sockets and where its timestamps come from.\n"
            "# TYPE quorvel_engine_info gauge\n"
            "quorvel_engine_info{engine=\"ping\",socket=\"child\",timestamps=\"ping\"} 1\n");
  EngineFigures icmp{"icmp", "datagram", "kernel", "", icmp::EchoCounters{}};
  icmp.counters->invalid = 3;
  TargetMetrics t;
  t.host = "a";
  t.engine = TargetMetrics::EngineCounts{1, 2, 4};
  const std::string text = FormatEngineMetrics(icmp, {t});
  for (const char* line : {"quorvel_engine_info{engine=\"icmp\",socket=\"datagram\",timestamps=\"kernel\"} 1\n",
                           "quorvel_late_replies_total{host=\"a\"} 1\n",
                           "quorvel_duplicate_replies_total{host=\"a\"} 2\n",
                           "quorvel_send_errors_total{host=\"a\"} 4\n",
                           "quorvel_icmp_dropped_packets_total{reason=\"mismatched\"} 3\n"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line << text;
  }
}

}  // namespace
}  // namespace quorvel
