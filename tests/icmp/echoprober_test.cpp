#include "icmp/echoprober.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "icmp/fakesocket.h"

namespace quorvel::icmp {
namespace {

using testing::FakeSocket;
using testing::ManualClock;

constexpr std::uint64_t kToken = 0x1122334455667788;
constexpr std::int64_t kMs = 1'000'000;
const Address kA = boost::asio::ip::make_address("192.0.2.1");
const Address kB = boost::asio::ip::make_address("192.0.2.2");
const Address kSix = boost::asio::ip::make_address("2001:db8::1");

// A prober over fake sockets that keeps every result.
struct Rig {
  explicit Rig(std::vector<Address> targets, EchoSettings s = Settings())
      : v4(Family::V4, 0x4242, clock),
        v6(Family::V6, 0x0606, clock),
        prober(s, std::move(targets), &v4, &v6, clock, [this](const ProbeResult& r) { results.push_back(r); },
               kToken) {
    prober.Begin(clock.monoNs);
  }
  static EchoSettings Settings() {
    EchoSettings s;
    s.intervalNs = 1000 * kMs;
    s.timeoutNs = 800 * kMs;
    return s;
  }
  // Moves the clock to `ms` after the start and steps.
  std::optional<std::int64_t> At(std::int64_t ms) {
    clock.monoNs = start + ms * kMs;
    return prober.Step();
  }
  std::vector<Outcome> Outcomes() const {
    std::vector<Outcome> o;
    for (const auto& r : results) o.push_back(r.outcome);
    return o;
  }

  ManualClock clock;
  const std::int64_t start = clock.monoNs;
  FakeSocket v4;
  FakeSocket v6;
  std::vector<ProbeResult> results;
  EchoProber prober;
};

TEST(EchoProber, MatchesAReplyOnlyWhenIdentifierSourceSequenceAndTagAgree) {
  enum class Count { Reply, Foreign, Invalid, Stale };
  const struct {
    const char* name;
    std::function<void(std::vector<std::uint8_t>&, Address&)> spoil;
    Count counted;
  } cases[] = {
      {"intact", [](auto&, auto&) {}, Count::Reply},
      {"another identifier", [](auto& m, auto&) { m[5] ^= 1; }, Count::Foreign},
      {"another source", [](auto&, auto& from) { from = kB; }, Count::Invalid},
      {"another token", [](auto& m, auto&) { m[8] ^= 1; }, Count::Invalid},
      {"header sequence differs from the tag", [](auto& m, auto&) { m[7] ^= 1; }, Count::Invalid},
      {"damaged filler", [](auto& m, auto&) { m[60] ^= 0x10; }, Count::Invalid},
      {"unknown target", [](auto& m, auto&) { m[8 + 16] = 7; }, Count::Invalid},
      {"a sequence never sent", [](auto& m, auto&) { m[8 + 8 + 1] = 1; m[6] = 1; }, Count::Invalid},
      {"an echo request", [](auto& m, auto&) { m[0] = kEchoRequestV4; }, Count::Invalid},
      {"truncated before the tag", [](auto& m, auto&) { m.resize(20); }, Count::Invalid},
  };
  for (const auto& c : cases) {
    Rig rig({kA});
    rig.At(0);
    ASSERT_EQ(rig.v4.sent.size(), 1u);
    auto message = testing::ReplyOf(Family::V4, rig.v4.sent[0].message);
    Address from = kA;
    c.spoil(message, from);
    rig.v4.QueueMessage(message, from, 0);
    rig.At(1);
    const EchoCounters& n = rig.prober.Counters();
    EXPECT_EQ(n.replies, c.counted == Count::Reply ? 1u : 0u) << c.name;
    EXPECT_EQ(n.foreign, c.counted == Count::Foreign ? 1u : 0u) << c.name;
    EXPECT_EQ(n.invalid, c.counted == Count::Invalid ? 1u : 0u) << c.name;
  }
}

TEST(EchoProber, ProbeIsLostAtItsDeadlineThenLateOnceThenDuplicate) {
  Rig rig({kA});
  rig.At(0);
  rig.At(799);
  EXPECT_TRUE(rig.results.empty());
  rig.At(800);
  ASSERT_EQ(rig.Outcomes(), std::vector<Outcome>{Outcome::Lost});
  const auto probe = rig.v4.sent[0];
  rig.v4.QueueReply(probe, 0);
  rig.v4.QueueReply(probe, 0);
  rig.At(900);
  EXPECT_EQ(rig.Outcomes(), (std::vector<Outcome>{Outcome::Lost, Outcome::Late, Outcome::Duplicate}));
  EXPECT_EQ(rig.results[1].rttNs, 900 * kMs);
  const EchoCounters& n = rig.prober.Counters();
  EXPECT_EQ(n.lost, 1u);
  EXPECT_EQ(n.late, 1u);
  EXPECT_EQ(n.duplicates, 1u);
  EXPECT_EQ(n.replies, 0u);
}

TEST(EchoProber, ReplyJudgedByItsOwnTimeNotByWhenTheLoopReadsIt) {
  Rig rig({kA, kB});
  rig.At(0);
  rig.At(500);
  ASSERT_EQ(rig.v4.sent.size(), 2u);
  // Both replies wait in the socket while the loop is busy past both
  // deadlines: the first came in time (kernel stamp), the second did not.
  rig.v4.QueueReply(rig.v4.sent[0], rig.clock.Wall(rig.start + 700 * kMs));
  rig.v4.QueueReply(rig.v4.sent[1], rig.clock.Wall(rig.start + 1400 * kMs));
  rig.At(1450);
  EXPECT_EQ(rig.Outcomes(), (std::vector<Outcome>{Outcome::Reply, Outcome::Lost, Outcome::Late}));
  EXPECT_EQ(rig.results[0].rttNs, 700 * kMs);
  EXPECT_EQ(rig.results[0].stamp, StampSource::KernelReceive);
  // The expiry that follows does not end either probe a second time.
  rig.At(1999);
  EXPECT_EQ(rig.results.size(), 3u);
}

TEST(EchoProber, ReplyThenCopyIsOneReplyAndOneDuplicate) {
  Rig rig({kA});
  rig.At(0);
  rig.v4.QueueTxStamp(rig.v4.sent[0], rig.clock.Wall(rig.start) + 5000);
  rig.v4.QueueReply(rig.v4.sent[0], rig.clock.Wall(rig.start) + 25000);
  rig.v4.QueueReply(rig.v4.sent[0], rig.clock.Wall(rig.start) + 26000);
  rig.At(2);
  EXPECT_EQ(rig.Outcomes(), (std::vector<Outcome>{Outcome::Reply, Outcome::Duplicate}));
  EXPECT_EQ(rig.results[0].rttNs, 20000);
  EXPECT_EQ(rig.results[0].stamp, StampSource::Kernel);
  rig.At(1000);  // the deadline passes without a second ending
  EXPECT_EQ(rig.prober.Counters().lost, 0u);
}

TEST(EchoProber, ProbesOfAllTargetsAreSpreadOverTheInterval) {
  Rig rig({kA, kB, kSix, kA});
  for (int ms = 0; ms < 2000; ++ms) rig.At(ms);
  std::vector<std::int64_t> times;
  for (const auto* s : {&rig.v4, &rig.v6}) {
    for (const auto& p : s->sent) times.push_back((p.atMonoNs - rig.start) / kMs);
  }
  std::sort(times.begin(), times.end());
  EXPECT_EQ(times, (std::vector<std::int64_t>{0, 250, 500, 750, 1000, 1250, 1500, 1750}));
  // It asks to be woken at whichever comes first: the next slot or deadline.
  EXPECT_EQ(rig.At(2001), rig.start + 2050 * kMs);  // the deadline of the probe sent at 1250
  EXPECT_EQ(rig.At(2200), rig.start + 2250 * kMs);  // the next slot
}

TEST(EchoProber, AfterAStallOverdueProbesGoOutInBoundedBurstsAndMissedSlotsAreSkipped) {
  std::vector<Address> many(1000, kA);
  EchoSettings s = Rig::Settings();
  s.pacingNs = kMs;  // one probe due per wake-up: bursts of at most 16
  Rig rig(many, s);
  rig.At(0);
  EXPECT_EQ(rig.v4.sent.size(), 1u);
  rig.At(800);  // the loop stalled: 800 probes are due
  // Those overdue by more than half an interval are skipped; of the rest
  // only a burst's worth goes out now.
  const EchoCounters& n = rig.prober.Counters();
  EXPECT_EQ(n.skipped, 299u);
  EXPECT_EQ(rig.v4.sent.size(), 1u + 16u);
  for (int ms = 801; ms <= 1000; ++ms) rig.At(ms);
  // Every slot was sent or skipped, none twice.
  EXPECT_EQ(n.sent + n.skipped, 1001u);
}

TEST(EchoProber, CountEndsTheRunOnceEveryProbeHasEnded) {
  EchoSettings s = Rig::Settings();
  s.count = 2;
  Rig rig({kA, kB}, s);
  std::optional<std::int64_t> next;
  for (int ms = 0; ms <= 2400; ms += 10) next = rig.At(ms);
  EXPECT_EQ(rig.v4.sent.size(), 4u);
  EXPECT_FALSE(next.has_value());
  EXPECT_EQ(rig.prober.Counters().lost, 4u);
}

TEST(EchoProber, SequenceNumbersRunPastSixteenBits) {
  EchoSettings s = Rig::Settings();
  s.intervalNs = 10 * kMs;
  s.timeoutNs = 5 * kMs;
  s.count = 70'000;
  Rig rig({kA}, s);
  for (std::int64_t i = 0; i < 70'000; ++i) {
    rig.clock.monoNs = rig.start + i * 10 * kMs;
    rig.prober.Step();
    rig.v4.QueueReply(rig.v4.sent.back(), 0);
    rig.clock.monoNs += kMs;
    rig.prober.Drain();
  }
  EXPECT_EQ(rig.prober.Counters().replies, 70'000u);
  EXPECT_EQ(rig.results.back().sequence, 69'999u);
  // A reply to a probe long gone is stale, not a reply to its namesake.
  rig.v4.QueueReply(rig.v4.sent[69'999 - 65'536], 0);
  rig.prober.Drain();
  EXPECT_EQ(rig.prober.Counters().stale, 1u);
}

TEST(EchoProber, SendFailuresAndNetworkErrorsEndTheProbeWithAReason) {
  Rig rig({kA, kB});
  rig.v4.sendError = [](const Address& to) { return to == kB ? EAGAIN : 0; };
  rig.At(0);
  rig.At(500);
  ASSERT_EQ(rig.results.size(), 1u);
  EXPECT_EQ(rig.results[0].error, ProbeError::BufferFull);
  EXPECT_EQ(rig.prober.Counters().sendBufferFull, 1u);

  // An unreachable from a router that quoted only the header is matched by
  // destination and sequence; one that quoted it all by its tag.
  const Address router = boost::asio::ip::make_address("198.51.100.9");
  rig.v4.sendError = nullptr;
  rig.At(1000);
  rig.At(1500);
  ASSERT_EQ(rig.v4.sent.size(), 3u);  // A0 (lost by now), A1, B1
  rig.v4.QueueError(rig.v4.sent[0], router, kUnreachableV4, 1, 8, 0);
  rig.v4.QueueError(rig.v4.sent[1], router, kUnreachableV4, 1, 8, 0);
  rig.v4.QueueError(rig.v4.sent[2], router, kTimeExceededV4, 0, 200, 0);
  rig.At(1600);
  ASSERT_EQ(rig.results.size(), 4u);
  EXPECT_EQ(rig.results[1].outcome, Outcome::Lost);
  EXPECT_EQ(rig.results[2].error, ProbeError::IcmpUnreachable);
  EXPECT_EQ(rig.results[2].sequence, 1u);
  EXPECT_EQ(DescribeError(rig.results[2]), "destination host unreachable, from 198.51.100.9");
  EXPECT_EQ(rig.results[3].error, ProbeError::IcmpTimeExceeded);
  EXPECT_EQ(rig.results[3].target, 1u);
  rig.At(2400);
  EXPECT_EQ(rig.prober.Counters().lost, 1u);
}

TEST(EchoProber, ProbesDueTogetherGoOutInOneCallPerSocketOnceStampsNameTheirProbes) {
  // A target due every 10 ms: kA, kB, kSix, kA, kB, kSix...
  std::vector<Address> targets;
  for (int i = 0; i < 100; ++i) targets.push_back(i % 3 == 0 ? kA : i % 3 == 1 ? kB : kSix);
  Rig rig(targets);
  rig.v4.sendError = [](const Address& to) { return to == kB ? EHOSTUNREACH : 0; };
  rig.At(0);
  rig.At(50);  // targets 1 to 5; no stamp has named a probe yet: one call each
  EXPECT_EQ(rig.v4.batches, (std::vector<std::size_t>{1, 1, 1, 1}));
  EXPECT_EQ(rig.v6.batches, (std::vector<std::size_t>{1, 1}));
  rig.v4.QueueTxStamp(rig.v4.sent[0], rig.clock.Wall(rig.start) + 1000);
  rig.At(100);  // targets 6 to 10: one call for the four IPv4 ones
  EXPECT_EQ(rig.v4.batches.back(), 4u);
  EXPECT_EQ(rig.v6.batches.back(), 1u);
  // The refused sends of a batch end their own probes, no others.
  std::vector<std::uint32_t> failed;
  for (const ProbeResult& r : rig.results) {
    if (r.outcome == Outcome::Error && r.error == ProbeError::Unreachable) failed.push_back(r.target);
  }
  EXPECT_EQ(failed, (std::vector<std::uint32_t>{1, 4, 7, 10}));
  EXPECT_EQ(rig.prober.Counters().sent, 7u);
}

TEST(Fifo, KeepsItsOrderWhileGrowingAroundTheEndOfItsBuffer) {
  Fifo<int> fifo;
  int pushed = 0, popped = 0;
  for (const int size : {50, 10, 120, 0, 300, 5}) {
    while (static_cast<int>(fifo.size()) < size) fifo.push_back(pushed++);
    while (static_cast<int>(fifo.size()) > size / 2) {
      ASSERT_EQ(fifo.front(), popped++);
      fifo.pop_front();
    }
  }
  EXPECT_EQ(static_cast<int>(fifo.size()), pushed - popped);
}

TEST(ChooseRoundTrip, PrefersKernelStampsUnlessTheWallClockMoved) {
  const ProbeTimes sent{1000, 5000, 5100};
  const struct {
    std::int64_t tx, rx, read;
    std::int64_t ns;
    StampSource source;
  } cases[] = {
      {5100, 5300, 1400, 200, StampSource::Kernel},
      {0, 5300, 1400, 300, StampSource::KernelReceive},
      {5100, 0, 1400, 400, StampSource::User},
      {5100, 4000, 1400, 400, StampSource::User},            // set back
      {5100, 5100 + 2'000'000, 1400, 400, StampSource::User},  // set forward
  };
  for (const auto& c : cases) {
    const RoundTrip r = ChooseRoundTrip({sent.sentMonoNs, sent.sentWallNs, c.tx}, c.rx, c.read);
    EXPECT_EQ(r.ns, c.ns) << c.rx;
    EXPECT_EQ(r.source, c.source) << c.rx;
  }
}

}  // namespace
}  // namespace quorvel::icmp
