#include "icmp/pathprober.h"

#include <gtest/gtest.h>

#include "icmp/fakesocket.h"

namespace quorvel::icmp {
namespace {

using testing::FakeSocket;
using testing::ManualClock;

constexpr std::uint64_t kToken = 0x0badc0ffee;
constexpr std::int64_t kMs = 1'000'000;
const Address kTarget = boost::asio::ip::make_address("203.0.113.9");
const Address kR1 = boost::asio::ip::make_address("192.0.2.1");
const Address kR2 = boost::asio::ip::make_address("192.0.2.2");
const Address kR2b = boost::asio::ip::make_address("192.0.2.22");

// A path prober over fake sockets: 9 hops at most, rounds every second, so
// TTL h of round r goes out at r s + (h - 1) x 100 ms.
struct Rig {
  explicit Rig(std::vector<Address> targets = {kTarget}, int maxHops = 9)
      : v4(Family::V4, 0x4444, clock), v6(Family::V6, 0x6666, clock),
        prober(Settings(maxHops), std::move(targets), &v4, &v6, clock,
               [this](const HopResult& r) { rows.push_back(r); }, kToken) {
    prober.Begin(clock.monoNs);
  }
  static PathSettings Settings(int maxHops) {
    PathSettings s;
    s.intervalNs = 1000 * kMs;
    s.timeoutNs = 500 * kMs;
    s.maxHops = maxHops;
    return s;
  }
  void At(std::int64_t ms) {
    clock.monoNs = start + ms * kMs;
    prober.Step();
  }
  // Steps every millisecond through [from, to).
  void Run(std::int64_t from, std::int64_t to) {
    for (std::int64_t ms = from; ms < to; ++ms) At(ms);
  }
  FakeSocket& Socket(const Address& a) { return a.is_v4() ? v4 : v6; }
  // Answers the probe just sent with `ttl` on the path to `target`: a
  // router's error (quoting only the header when `shortQuote`), or the
  // target's reply when `from` is the target.
  void Answer(int ttl, const Address& from, bool shortQuote = false, const Address& target = kTarget) {
    FakeSocket& s = Socket(target);
    for (auto it = s.sent.rbegin(); it != s.sent.rend(); ++it) {
      if (it->ttl != ttl || it->to != target) continue;
      const std::int64_t rx = clock.Wall(clock.monoNs) + 1000;
      if (from == target) {
        s.QueueReply(*it, rx);
      } else {
        s.QueueError(*it, from, target.is_v4() ? kTimeExceededV4 : kTimeExceededV6, 0, shortQuote ? 8 : 200, rx);
      }
      return;
    }
    ADD_FAILURE() << "no probe with TTL " << ttl;
  }
  std::vector<int> TtlsSent(const Address& target = kTarget) {
    std::vector<int> ttls;
    for (const auto& p : Socket(target).sent) ttls.push_back(p.ttl);
    return ttls;
  }

  ManualClock clock;
  const std::int64_t start = clock.monoNs;
  FakeSocket v4;
  FakeSocket v6;
  std::vector<HopResult> rows;
  PathProber prober;
};

// One round of the path R1, R2, target: each answers right after its probe.
void AnswerRound(Rig& rig, std::int64_t roundMs, const Address& second = kR2, bool answerSecond = true) {
  const std::int64_t spacing = 100;
  for (int ttl = 1; ttl <= 3; ++ttl) {
    rig.At(roundMs + (ttl - 1) * spacing + 1);
    if (ttl == 1) rig.Answer(1, kR1);
    if (ttl == 2 && answerSecond) rig.Answer(2, second, true);
    if (ttl == 3) rig.Answer(3, kTarget);
  }
  rig.Run(roundMs + 3 * spacing, roundMs + 1000);
}

TEST(PathProber, RoundsGoHopByHopAndStopAtTheTarget) {
  Rig rig;
  AnswerRound(rig, 0);
  // The target answered at TTL 3: nothing further this round.
  EXPECT_EQ(rig.TtlsSent(), (std::vector<int>{1, 2, 3}));
  AnswerRound(rig, 1000);
  EXPECT_EQ(rig.TtlsSent(), (std::vector<int>{1, 2, 3, 1, 2, 3}));
  EXPECT_EQ((rig.v4.sent[1].atMonoNs - rig.v4.sent[0].atMonoNs) / kMs, 100);

  const PathSnapshot p = rig.prober.Snapshot().at(0);
  ASSERT_EQ(p.hops.size(), 3u);
  EXPECT_TRUE(p.reached);
  EXPECT_EQ(p.hops[0].address, kR1);
  EXPECT_EQ(p.hops[1].address, kR2);  // matched on its header alone
  EXPECT_TRUE(p.hops[2].target);
  for (const HopFigures& h : p.hops) {
    EXPECT_EQ(h.figures.sent, 2u) << h.hop;
    EXPECT_EQ(h.figures.received, 2u) << h.hop;
    EXPECT_FALSE(h.rateLimited) << h.hop;
  }
  EXPECT_EQ(p.pathChanges, 0u);
  EXPECT_EQ(rig.prober.Invalid(), 0u);
}

TEST(PathProber, LossThatLaterHopsDoNotShareIsMarkedAsTheRoutersLimit) {
  const struct {
    const char* name;
    bool targetAnswersOddRounds;
    bool hop2Limited;
  } cases[] = {
      {"only hop 2 drops", true, true},
      {"hop 2 and the target drop alike", false, false},
  };
  for (const auto& c : cases) {
    Rig rig;
    for (int round = 0; round < 4; ++round) {
      const bool odd = round % 2 == 1;
      const std::int64_t ms = round * 1000;
      const std::int64_t spacing = 100;
      rig.At(ms + 1);
      rig.Answer(1, kR1);
      rig.At(ms + spacing + 1);
      if (!odd) rig.Answer(2, kR2);
      rig.At(ms + 2 * spacing + 1);
      if (!odd || c.targetAnswersOddRounds) rig.Answer(3, kTarget);
      rig.Run(ms + 2 * spacing + 2, ms + 1000);
    }
    const PathSnapshot p = rig.prober.Snapshot().at(0);
    ASSERT_EQ(p.hops.size(), 3u) << c.name;
    EXPECT_EQ(p.hops[1].figures.lossPercent, 50) << c.name;
    EXPECT_EQ(p.hops[1].rateLimited, c.hop2Limited) << c.name;
    EXPECT_FALSE(p.hops[0].rateLimited) << c.name;
    EXPECT_FALSE(p.hops[2].rateLimited) << c.name;
  }
}

TEST(PathProber, AChangedHopAddressOrDistanceCountsAsAPathChange) {
  Rig rig;
  AnswerRound(rig, 0);
  AnswerRound(rig, 1000, kR2b);  // hop 2 now answers from another router
  AnswerRound(rig, 2000, kR2b);
  PathSnapshot p = rig.prober.Snapshot().at(0);
  EXPECT_EQ(p.pathChanges, 1u);
  EXPECT_EQ(p.hops[1].changes, 1u);
  EXPECT_EQ(p.hops[1].seen, (std::vector<Address>{kR2, kR2b}));

  // The target moves one hop nearer, where a router never answered: only
  // the distance tells.
  Rig other;
  AnswerRound(other, 0, kR2, false);
  other.At(1001);
  other.Answer(1, kR1);
  other.At(1101);
  other.Answer(2, kTarget);
  other.Run(1102, 2000);
  p = other.prober.Snapshot().at(0);
  EXPECT_EQ(p.pathChanges, 1u);
  EXPECT_EQ(p.hops.size(), 2u);
  EXPECT_TRUE(p.hops[1].target);
}

// A loop held up sends several TTLs of a round at once; their answers may
// come back in any order. Within the round that first finds the target, a
// nearer answer refines the distance: no path change.
TEST(PathProber, AFirstRoundAnsweredOutOfOrderIsNoPathChange) {
  Rig rig;
  rig.At(301);  // TTLs 1 to 4 are all due
  EXPECT_EQ(rig.TtlsSent(), (std::vector<int>{1, 2, 3, 4}));
  rig.Answer(1, kR1);
  rig.Answer(2, kR2);
  rig.Answer(4, kTarget);
  rig.Answer(3, kTarget);
  rig.Run(302, 1000);
  AnswerRound(rig, 1000);
  const PathSnapshot p = rig.prober.Snapshot().at(0);
  EXPECT_EQ(p.pathChanges, 0u);
  ASSERT_EQ(p.hops.size(), 3u);
  EXPECT_TRUE(p.hops[2].target);
}

TEST(PathProber, AnswerAfterTheDeadlineIsLateNotReceived) {
  Rig rig;
  rig.At(1);
  rig.At(600);  // TTL 1's deadline passed at 500 ms
  rig.Answer(1, kR1);
  rig.At(601);
  const PathSnapshot p = rig.prober.Snapshot().at(0);
  EXPECT_EQ(p.hops[0].figures.received, 0u);
  EXPECT_EQ(p.hops[0].figures.lost, 1u);
  EXPECT_EQ(p.hops[0].late, 1u);
  ASSERT_GE(rig.rows.size(), 2u);
  EXPECT_EQ(rig.rows[0].kind, HopResult::Kind::Lost);
  EXPECT_EQ(rig.rows[1].kind, HopResult::Kind::Late);
}

TEST(PathProber, UnreachedTargetIsProbedToTheLastHopAndShownOneHopPastTheLastAnswer) {
  const Address six = boost::asio::ip::make_address("2001:db8::9");
  const Address sixR1 = boost::asio::ip::make_address("2001:db8:ffff::1");
  Rig rig({six}, 5);
  rig.At(1);
  rig.Answer(1, sixR1, false, six);
  rig.Run(2, 2000);
  EXPECT_EQ(rig.TtlsSent(six), (std::vector<int>{1, 2, 3, 4, 5, 1, 2, 3, 4, 5}));
  const PathSnapshot p = rig.prober.Snapshot().at(0);
  EXPECT_FALSE(p.reached);
  ASSERT_EQ(p.hops.size(), 2u);
  EXPECT_EQ(p.hops[0].address, sixR1);
  EXPECT_TRUE(p.hops[1].seen.empty());
  EXPECT_EQ(p.hops[1].figures.lost, 2u);
}

}  // namespace
}  // namespace quorvel::icmp
