// The engine against the kernel: loopback (every 127.0.0.0/8 address
// answers, so 127.0.x.y are thousands of targets) and ::1, inside a network
// namespace of the test's own, so that ping sockets can be allowed and
// routes added without touching the host.
#include "icmp/engine.h"
#include "icmp/pathengine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>

#include "icmp/privatenetwork.h"
#include "icmp/roundtrip.h"

namespace quorvel::icmp {
namespace {

using namespace std::chrono_literals;
using testing::EnterPrivateNetwork;

Address A(const char* text) { return boost::asio::ip::make_address(text); }

std::vector<Address> LoopbackTargets(int count) {
  std::vector<Address> targets;
  for (int i = 0; i < count; ++i) {
    const auto b = boost::asio::ip::address_v4::bytes_type{127, static_cast<unsigned char>(1 + i / 250),
                                                           static_cast<unsigned char>(1 + i % 250), 0};
    targets.push_back(boost::asio::ip::address_v4(b));
  }
  // 127.x.y.0 answers as well as any other.
  return targets;
}

struct Outcomes {
  EngineStatus status;
  EngineInfo info;
  EchoCounters counters;
  std::vector<ProbeResult> results;
};

Outcomes Probe(std::vector<Address> targets, EchoOptions options) {
  Outcomes o;
  std::mutex mutex;
  EchoEngine engine(options, std::move(targets), [&](const ProbeResult& r) {
    std::lock_guard<std::mutex> lock(mutex);
    o.results.push_back(r);
  });
  o.status = engine.Start();
  if (!o.status.Ok()) return o;
  engine.Wait();
  o.info = engine.Info();
  o.counters = engine.Counters();
  return o;
}

EchoOptions Quick(std::uint64_t count, SocketPreference socket = SocketPreference::Auto) {
  EchoOptions o;
  o.interval = 20ms;
  o.timeout = 2s;
  o.count = count;
  o.socket = socket;
  return o;
}

class Loopback : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const std::string& why = EnterPrivateNetwork(); !why.empty()) GTEST_SKIP() << why;
    ASSERT_TRUE(testing::SetPingGroupRange("0 2147483647"));
  }
};

TEST_F(Loopback, EveryProbeIsAnsweredOverBothSocketKindsAndFamilies) {
  for (const SocketPreference kind : {SocketPreference::Datagram, SocketPreference::Raw}) {
    // An IPv4-mapped address is probed as the IPv4 address it maps.
    const std::vector<Address> targets = {A("127.0.0.1"), A("127.0.3.4"), A("::1"), A("::ffff:127.0.0.9")};
    const auto wallBefore = std::chrono::system_clock::now().time_since_epoch();
    const Outcomes o = Probe(targets, Quick(4, kind));
    ASSERT_TRUE(o.status.Ok()) << o.status.message;
    const SocketKind expected = kind == SocketPreference::Raw ? SocketKind::Raw : SocketKind::Datagram;
    ASSERT_TRUE(o.info.v4 && o.info.v6);
    EXPECT_EQ(o.info.v4->kind, expected);
    EXPECT_EQ(o.info.v6->kind, expected);
    EXPECT_EQ(EngineStamps(o.info), StampSource::Kernel);

    std::map<std::uint32_t, std::vector<std::uint64_t>> sequences;
    std::map<std::uint32_t, int> kernelStamped;
    for (const ProbeResult& r : o.results) {
      ASSERT_EQ(r.outcome, Outcome::Reply) << OutcomeName(r.outcome) << " " << DescribeError(r);
      sequences[r.target].push_back(r.sequence);
      EXPECT_GT(r.rttNs, 0);
      EXPECT_LT(r.rttNs, 100'000'000);
      EXPECT_GE(r.sentUnixNs, std::chrono::duration_cast<std::chrono::nanoseconds>(wallBefore).count());
      if (r.stamp == StampSource::Kernel) ++kernelStamped[r.target];
    }
    for (std::uint32_t t = 0; t < 4; ++t) {
      EXPECT_EQ(sequences[t], (std::vector<std::uint64_t>{0, 1, 2, 3})) << t;
      // The kernel turns receive stamps on a moment after the first socket
      // asks; by the last probes they are there.
      EXPECT_GE(kernelStamped[t], 1) << t;
    }
    EXPECT_EQ(o.counters.replies, 16u);
    EXPECT_EQ(o.counters.invalid + o.counters.lost + o.counters.late + o.counters.duplicates, 0u);
  }
}

TEST_F(Loopback, ThousandsOfTargetsOnOneSocketLoseNothing) {
  EchoOptions options = Quick(3);
  options.interval = 500ms;
  options.timeout = 5s;
  const Outcomes o = Probe(LoopbackTargets(4000), options);
  ASSERT_TRUE(o.status.Ok()) << o.status.message;
  const EchoCounters& n = o.counters;
  EXPECT_EQ(n.sent, 12'000u);
  EXPECT_EQ(n.replies, 12'000u) << "lost " << n.lost << ", late " << n.late << ", overruns " << n.overruns
                                << ", clock-timed " << n.userStamps;
  std::vector<int> perTarget(4000);
  for (const ProbeResult& r : o.results) {
    if (r.outcome == Outcome::Reply) ++perTarget[r.target];
  }
  EXPECT_EQ(std::count(perTarget.begin(), perTarget.end(), 3), 4000);
}

// With a target due every half millisecond the loop reads replies at its
// steps, not on each packet; once all is sent it watches the socket again
// and the run ends with the last reply, not at the deadline three minutes
// on (a failure here is the test's own time limit).
TEST_F(Loopback, RunEndsWithItsLastReplyNotAtItsDeadline) {
  EchoOptions options = Quick(3);
  options.interval = 100ms;
  options.timeout = 3min;
  const Outcomes o = Probe(LoopbackTargets(200), options);
  ASSERT_TRUE(o.status.Ok()) << o.status.message;
  EXPECT_EQ(o.counters.replies, 600u);
}

// sendmmsg stops at a message the kernel refuses: the ones after it still
// go, and it alone carries the error.
TEST_F(Loopback, ABatchGoesOutAroundAMessageTheKernelRefuses) {
  ASSERT_EQ(testing::RunProgram({"ip", "route", "replace", "unreachable", "203.0.113.0/24"}), 0);
  ASSERT_EQ(testing::RunProgram({"ip", "-6", "route", "replace", "unreachable", "2001:db8:2::/48"}), 0);
  for (const Family family : {Family::V4, Family::V6}) {
    SocketOpen open = OpenKernelSocket(family, SocketPreference::Datagram);
    ASSERT_EQ(open.status, SocketOpen::Status::Ok) << open.message;
    const bool v4 = family == Family::V4;
    const Address good = A(v4 ? "127.0.0.1" : "::1"), refused = A(v4 ? "203.0.113.1" : "2001:db8:2::1");
    std::vector<std::uint8_t> message(64);
    BuildEchoRequest(family, open.socket->Info().identifier, ProbeTag{}, 56, message);
    for (const auto& [targets, expected] : std::vector<std::pair<std::vector<const Address*>, std::vector<bool>>>{
             {{&good, &refused, &good, &good}, {true, false, true, true}},
             {{&good, &good, &refused}, {true, true, false}},
             {{&refused, &good}, {false, true}},
         }) {
      std::vector<Outgoing> batch;
      for (const Address* to : targets) batch.push_back({to, message, 0, 0});
      open.socket->SendBatch(batch);
      ReceiveBatch got;
      while (open.socket->Receive(got, 512)) {
      }
      std::size_t replies = 0;
      for (std::size_t i = 0; i < batch.size(); ++i) {
        EXPECT_EQ(batch[i].error == 0, expected[i]) << i << ": " << std::strerror(batch[i].error);
        if (batch[i].error != 0) {
          EXPECT_EQ(SendErrorKind(batch[i].error), ProbeError::Unreachable);
        }
        replies += expected[i];
      }
      EXPECT_EQ(std::count_if(got.items.begin(), got.items.end(),
                              [](const Received& r) { return r.kind == Received::Kind::Message; }),
                static_cast<long>(replies));
    }
  }
}

TEST_F(Loopback, TwoRawEnginesSeeEachOthersRepliesButMatchOnlyTheirOwn) {
  Outcomes first;
  std::thread other([&] { first = Probe(LoopbackTargets(200), Quick(10, SocketPreference::Raw)); });
  Outcomes second = Probe(LoopbackTargets(200), Quick(10, SocketPreference::Raw));
  other.join();
  for (const Outcomes* o : {&first, &second}) {
    ASSERT_TRUE(o->status.Ok()) << o->status.message;
    EXPECT_EQ(o->counters.replies, 2000u);
    EXPECT_EQ(o->counters.duplicates + o->counters.invalid, 0u);
    EXPECT_GT(o->counters.foreign, 0u);
  }
}

// The preference and group range a child running as nobody tries.
SocketPreference gPreference;

int OpenAsNobody() {
  EchoEngine engine(Quick(1, gPreference), {A("127.0.0.1")}, nullptr);
  const EngineStatus s = engine.Start();
  if (s.code == EngineStatus::Code::NoPermission) {
    const bool namesBoth = s.message.find("net.ipv4.ping_group_range") != std::string::npos &&
                           s.message.find("setcap cap_net_raw+ep") != std::string::npos;
    return namesBoth ? 10 : 11;
  }
  if (!s.Ok()) return 12;
  engine.Wait();
  return engine.Counters().replies == 1 ? 0 : 13;
}

TEST_F(Loopback, WithoutPermissionTheStatusSaysSoAndNamesBothRemedies) {
  const struct {
    const char* range;
    SocketPreference preference;
    int status;  // 0: answered; 10: NoPermission naming both remedies
  } cases[] = {
      {"0 2147483647", SocketPreference::Auto, 0},
      {"1 0", SocketPreference::Auto, 10},
      {"1 0", SocketPreference::Datagram, 10},
      {"0 2147483647", SocketPreference::Raw, 10},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(testing::SetPingGroupRange(c.range));
    gPreference = c.preference;
    EXPECT_EQ(testing::RunAsNobody(OpenAsNobody), c.status) << c.range << " " << static_cast<int>(c.preference);
  }
}

TEST_F(Loopback, ErrorsEndTheProbeAndLeaveTheNextSendUnharmed) {
  if (const std::string why = testing::AddLoopingRoute(); !why.empty()) GTEST_SKIP() << why;
  ASSERT_EQ(testing::RunProgram({"ip", "route", "add", "unreachable", "203.0.113.0/24"}), 0);
  for (const SocketPreference kind : {SocketPreference::Datagram, SocketPreference::Raw}) {
    // 198.51.100.x and 2001:db8:1::1 go round until their TTL runs out.
    EchoOptions options = Quick(3, kind);
    options.ttl = 2;
    const Outcomes o = Probe({A("198.51.100.1"), A("198.51.100.2"), A("2001:db8:1::1"), A("203.0.113.1")}, options);
    ASSERT_TRUE(o.status.Ok()) << o.status.message;
    std::map<std::uint32_t, std::vector<ProbeError>> errors;
    for (const ProbeResult& r : o.results) {
      ASSERT_EQ(r.outcome, Outcome::Error);
      errors[r.target].push_back(r.error);
      if (r.target < 3) {
        EXPECT_EQ(r.from.is_v4(), r.target < 2) << DescribeError(r);
      }
    }
    using E = ProbeError;
    const std::vector<E> exceeded(3, E::IcmpTimeExceeded);
    EXPECT_EQ(errors[0], exceeded);
    EXPECT_EQ(errors[1], exceeded);
    EXPECT_EQ(errors[2], exceeded);
    EXPECT_EQ(errors[3], std::vector<E>(3, E::Unreachable));
  }
}

// An ICMP error leaves its errno pending on a datagram socket, and the
// kernel fails the next send with it although nothing is wrong with that
// send: the socket sends again once.
TEST_F(Loopback, SendRightAfterAnErrorCameInStillGoesOut) {
  if (const std::string why = testing::AddLoopingRoute(); !why.empty()) GTEST_SKIP() << why;
  for (const Family family : {Family::V4, Family::V6}) {
    SocketOpen open = OpenKernelSocket(family, SocketPreference::Datagram);
    ASSERT_EQ(open.status, SocketOpen::Status::Ok) << open.message;
    const Address to = A(family == Family::V4 ? "198.51.100.1" : "2001:db8:1::1");
    std::vector<std::uint8_t> message(64);
    BuildEchoRequest(family, 1, ProbeTag{}, 56, message);
    // With a TTL of 1 the error is back before the send returns.
    for (int i = 0; i < 3; ++i) EXPECT_EQ(open.socket->Send(to, message, 1), 0) << std::strerror(errno);
  }
}

struct PathRun {
  EngineStatus status;
  std::vector<PathSnapshot> paths;
  std::vector<HopResult> rows;
};

PathRun TracePaths(std::vector<Address> targets, PathOptions options) {
  PathRun run;
  PathEngine engine(options, std::move(targets), [&](const HopResult& r) { run.rows.push_back(r); });
  run.status = engine.Start();
  if (!run.status.Ok()) return run;
  engine.Wait();
  run.paths = engine.Snapshot();
  return run;
}

PathOptions QuickPath(std::uint64_t rounds, SocketPreference socket, int maxHops = kMaxHops) {
  PathOptions o;
  o.interval = 60ms;
  o.timeout = 1s;
  o.rounds = rounds;
  o.socket = socket;
  o.maxHops = maxHops;
  return o;
}

TEST_F(Loopback, PathToALoopbackAddressIsOneHop) {
  for (const SocketPreference kind : {SocketPreference::Datagram, SocketPreference::Raw}) {
    const PathRun run = TracePaths({A("127.0.0.1"), A("::1")}, QuickPath(3, kind));
    ASSERT_TRUE(run.status.Ok()) << run.status.message;
    ASSERT_EQ(run.paths.size(), 2u);
    for (const PathSnapshot& p : run.paths) {
      EXPECT_TRUE(p.reached) << p.target;
      ASSERT_EQ(p.hops.size(), 1u) << p.target;
      EXPECT_EQ(p.hops[0].address, p.target);
      EXPECT_EQ(p.hops[0].figures.received, 3u) << p.target;
    }
  }
}

// Every hop of the looping route answers "time exceeded", from the error
// queue of either socket kind; the target is never reached.
TEST_F(Loopback, HopsAnswerTimeExceededThroughTheErrorQueue) {
  if (const std::string why = testing::AddLoopingRoute(); !why.empty()) GTEST_SKIP() << why;
  for (const SocketPreference kind : {SocketPreference::Datagram, SocketPreference::Raw}) {
    const PathRun run = TracePaths({A("198.51.100.7"), A("2001:db8:1::1")}, QuickPath(2, kind, 3));
    ASSERT_TRUE(run.status.Ok()) << run.status.message;
    for (const PathSnapshot& p : run.paths) {
      EXPECT_FALSE(p.reached) << p.target;
      ASSERT_EQ(p.hops.size(), 3u) << p.target;
      for (const HopFigures& h : p.hops) {
        EXPECT_EQ(h.figures.received, 2u) << p.target << " hop " << h.hop;
        ASSERT_FALSE(h.seen.empty());
        EXPECT_EQ(h.address, A(p.target.is_v4() ? "192.0.2.1" : "2001:db8::1"));
      }
    }
    for (const HopResult& r : run.rows) EXPECT_EQ(r.kind, HopResult::Kind::TimeExceeded);
  }
}

TEST_F(Loopback, HopNamesAreLookedUpWhenAsked) {
  PathOptions options = QuickPath(0, SocketPreference::Auto);
  options.names = true;
  PathEngine engine(options, {A("127.0.0.1")}, nullptr);
  ASSERT_TRUE(engine.Start().Ok());
  std::string name;
  for (int i = 0; i < 100 && name.empty(); ++i) {
    std::this_thread::sleep_for(50ms);
    const auto paths = engine.Snapshot();
    if (!paths[0].hops.empty()) name = paths[0].hops[0].name;
  }
  engine.Stop();
  EXPECT_EQ(name, "localhost");
}

}  // namespace
}  // namespace quorvel::icmp
