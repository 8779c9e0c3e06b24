#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "stats/runstatistics.h"
#include "icmp/clock.h"
#include "icmp/fifo.h"
#include "icmp/result.h"
#include "icmp/roundtrip.h"
#include "icmp/socket.h"

namespace quorvel::icmp {

inline constexpr int kMaxHops = 30;

struct PathSettings {
  std::int64_t intervalNs = 1'000'000'000;  // between two rounds of one target
  std::int64_t timeoutNs = 2'000'000'000;   // a probe's deadline after its sending
  int maxHops = kMaxHops;                   // 1 to 64
  std::uint64_t rounds = 0;                 // rounds per target; 0: no end
  std::size_t payloadBytes = 56;
};

// One probe of a path as it ended, for a row per hop per round.
struct HopResult {
  enum class Kind : std::uint8_t {
    Reply,         // the target answered: this hop is the target
    TimeExceeded,  // a router on the way answered
    Unreachable,   // a router or the target said "destination unreachable"
    Lost,          // nothing by the deadline
    Late,          // an answer after the deadline (the probe was reported Lost)
  };
  std::uint32_t target = 0;
  std::uint64_t round = 0;
  int hop = 0;  // the TTL or hop limit, from 1
  Kind kind = Kind::Lost;
  Address from;  // who answered
  std::int64_t rttNs = 0;
  StampSource stamp = StampSource::User;
  std::int64_t sentUnixNs = 0;
  std::uint8_t icmpType = 0;
  std::uint8_t icmpCode = 0;
};
const char* HopKindName(HopResult::Kind kind);  // "reply", "time-exceeded", "unreachable", "lost", "late"

using HopSink = std::function<void(const HopResult&)>;

// The figures of one hop of one path.
struct HopFigures {
  int hop = 0;
  std::vector<Address> seen;  // every address that answered here, first seen first (at most 8)
  Address address;            // the last to answer here; meaningful once `seen` is not empty
  std::string name;           // its name, where names were asked for and one was found
  std::uint64_t changes = 0;       // times the answering address changed
  std::uint64_t late = 0;
  std::optional<std::int64_t> lastNs;
  bool target = false;       // the target itself answered at this hop
  bool unreachable = false;  // the last answer here was "destination unreachable"
  // Loss here is not carried on: a later hop lost less. The router limits
  // its ICMP answers; the packets it forwards are not lost.
  bool rateLimited = false;
  StatisticsSummary figures;  // sent, received, loss, min/avg/max, stdev, p50, p95, jitter (ms)
};

struct PathSnapshot {
  Address target;
  std::vector<HopFigures> hops;  // from hop 1 to the target, or to the last hop that answered and one more
  bool reached = false;          // the target answered
  std::uint64_t rounds = 0;      // rounds begun
  std::uint64_t pathChanges = 0;  // rounds in which a hop's address (or the distance) changed
};

// Path discovery to several targets through one socket per family, as a
// state machine driven like EchoProber (Step, Drain, NextWake).
//
// Each round of a target sends echo requests with TTL (hop limit) 1, 2, ...
// spaced evenly over the interval, up to the target's distance once known,
// else up to maxHops; the round stops early when the target answers. A hop
// answers with "time exceeded" (or "unreachable"), read from the socket's
// error queue; the target with an echo reply. Probes are named by the 16-bit
// sequence of their header (routers often quote no more of a probe) and the
// destination, and by their tag where the answer quotes it.
//
// Memory: a RunStatistics (under 1 KiB, and 512 bytes per power of two of
// microseconds its times span) per hop per target. The sockets and
// the clock must outlive it; the sink is called from Step and Drain. Not
// thread-safe.
class PathProber {
 public:
  PathProber(PathSettings settings, std::vector<Address> targets, IcmpSocket* v4, IcmpSocket* v6,
             const IcmpClock& clock, HopSink sink, std::uint64_t token);

  void Begin(std::int64_t startMonoNs);
  std::optional<std::int64_t> Step();
  bool Drain();
  std::optional<std::int64_t> NextWake();

  std::vector<PathSnapshot> Snapshot() const;
  std::uint64_t Invalid() const { return invalid_; }  // answers that named no probe of ours

 private:
  enum class State : std::uint8_t { Empty, Pending, Answered, Lost, Late };
  struct Slot {
    std::uint64_t sequence = 0;
    std::uint32_t target = 0;
    std::uint64_t round = 0;
    int hop = 0;
    ProbeTimes times;
    State state = State::Empty;
  };
  struct Hop {
    HopFigures shown;
    RunStatistics statistics;
  };
  struct Target {
    Address address;
    IcmpSocket* socket = nullptr;
    std::vector<Hop> hops;
    int distance = 0;          // the hop at which the target (or an unreachable) answered; 0: unknown
    std::uint64_t distanceRound = 0;  // the round whose answer set `distance`
    std::uint64_t round = 0;   // the round being sent
    int nextHop = 1;           // the next TTL of that round
    int roundLimit = 0;        // the last TTL of that round
    std::uint64_t changedRound = UINT64_MAX;
    std::uint64_t pathChanges = 0;
    bool done = false;
  };

  std::int64_t DueTime(const Target& t, std::size_t index) const;
  void SendDue(std::int64_t nowMonoNs);
  void Send(std::size_t index);
  void Expire(std::int64_t nowMonoNs);
  void Handle(const Received& item, std::span<const std::uint8_t> bytes, IcmpSocket& socket,
              std::int64_t readMonoNs);
  Slot* Find(const EchoFields& fields, const Address& destination);
  void Answer(Slot& slot, HopResult::Kind kind, const Address& from, std::int64_t rxKernelNs,
              std::int64_t readMonoNs, std::uint8_t icmpType, std::uint8_t icmpCode);
  void Record(Slot& slot, const HopResult& result);
  void NoteChange(Target& t, std::uint64_t round);
  void Emit(const HopResult& r);

  PathSettings settings_;
  std::vector<Target> targets_;
  std::vector<IcmpSocket*> sockets_;
  const IcmpClock& clock_;
  HopSink sink_;
  std::uint64_t token_;
  std::int64_t startMonoNs_ = 0;
  std::int64_t spacingNs_ = 0;
  std::uint64_t nextSequence_ = 0;
  std::vector<Slot> slots_;  // by the low bits of the sequence
  struct Deadline {
    std::size_t slot;
    std::uint64_t sequence;
    std::int64_t atMonoNs;
  };
  Fifo<Deadline> deadlines_;
  std::vector<std::uint8_t> message_;
  ReceiveBatch batch_;
  std::uint64_t invalid_ = 0;
};

}  // namespace quorvel::icmp
