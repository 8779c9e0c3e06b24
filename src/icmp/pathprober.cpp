#include "icmp/pathprober.h"

#include <algorithm>
#include <bit>
#include <climits>

namespace quorvel::icmp {
namespace {

constexpr std::size_t kReadLimit = 512;
constexpr std::size_t kMaxSeen = 8;

Family FamilyOf(const Address& a) { return a.is_v4() ? Family::V4 : Family::V6; }

}  // namespace

const char* HopKindName(HopResult::Kind kind) {
  switch (kind) {
    case HopResult::Kind::Reply: return "reply";
    case HopResult::Kind::TimeExceeded: return "time-exceeded";
    case HopResult::Kind::Unreachable: return "unreachable";
    case HopResult::Kind::Lost: return "lost";
    case HopResult::Kind::Late: return "late";
  }
  return "lost";
}

PathProber::PathProber(PathSettings settings, std::vector<Address> targets, IcmpSocket* v4, IcmpSocket* v6,
                       const IcmpClock& clock, HopSink sink, std::uint64_t token)
    : settings_(settings), clock_(clock), sink_(std::move(sink)), token_(token) {
  settings_.maxHops = std::clamp(settings_.maxHops, 1, 64);
  settings_.payloadBytes = std::clamp(settings_.payloadBytes, kMinPayloadBytes, kMaxPayloadBytes);
  for (IcmpSocket* s : {v4, v6}) {
    if (s != nullptr) sockets_.push_back(s);
  }
  for (const Address& a : targets) {
    Target t;
    t.address = a;
    t.socket = a.is_v4() ? v4 : v6;
    t.hops.resize(static_cast<std::size_t>(settings_.maxHops));
    for (int h = 0; h < settings_.maxHops; ++h) t.hops[static_cast<std::size_t>(h)].shown.hop = h + 1;
    t.roundLimit = settings_.maxHops;
    t.done = t.socket == nullptr;
    targets_.push_back(std::move(t));
  }
  spacingNs_ = settings_.intervalNs / (settings_.maxHops + 1);
  // Every probe that can still be pending has a slot of its own; the 16-bit
  // sequence of the header must name it, so at most 65,536 slots.
  const auto perTarget = static_cast<std::size_t>(settings_.maxHops) *
                         static_cast<std::size_t>(settings_.timeoutNs / settings_.intervalNs + 2);
  slots_.resize(std::clamp<std::size_t>(std::bit_ceil(targets_.size() * perTarget), 64, 65536));
  message_.resize(kIcmpHeaderBytes + settings_.payloadBytes);
}

void PathProber::Begin(std::int64_t startMonoNs) { startMonoNs_ = startMonoNs; }

std::int64_t PathProber::DueTime(const Target& t, std::size_t index) const {
  const double offset = static_cast<double>(settings_.intervalNs) * static_cast<double>(index) /
                        static_cast<double>(targets_.size());
  return startMonoNs_ + static_cast<std::int64_t>(t.round) * settings_.intervalNs + static_cast<std::int64_t>(offset) +
         (t.nextHop - 1) * spacingNs_;
}

std::optional<std::int64_t> PathProber::Step() {
  while (Drain()) {
  }
  const Instant now = clock_.Now();
  Expire(now.monoNs);
  SendDue(now.monoNs);
  return NextWake();
}

std::optional<std::int64_t> PathProber::NextWake() {
  Expire(INT64_MIN);
  std::int64_t next = INT64_MAX;
  bool any = !deadlines_.empty();
  for (std::size_t i = 0; i < targets_.size(); ++i) {
    if (targets_[i].done) continue;
    any = true;
    next = std::min(next, DueTime(targets_[i], i));
  }
  if (!any) return std::nullopt;
  if (!deadlines_.empty()) next = std::min(next, deadlines_.front().atMonoNs);
  return next;
}

void PathProber::SendDue(std::int64_t nowMonoNs) {
  for (std::size_t i = 0; i < targets_.size(); ++i) {
    Target& t = targets_[i];
    while (!t.done && DueTime(t, i) <= nowMonoNs) {
      if (t.nextHop > t.roundLimit) {
        // This round has gone as far as it should: the next one begins.
        ++t.round;
        t.nextHop = 1;
        t.roundLimit = t.distance != 0 ? t.distance : settings_.maxHops;
        t.done = settings_.rounds != 0 && t.round >= settings_.rounds;
        continue;
      }
      Send(i);
      ++t.nextHop;
    }
  }
}

void PathProber::Send(std::size_t index) {
  Target& t = targets_[index];
  const std::uint64_t sequence = nextSequence_++;
  const std::size_t at = sequence & (slots_.size() - 1);
  Slot& slot = slots_[at];
  if (slot.state == State::Pending) {
    // Only when the loop stalled for longer than the slots cover.
    slot.state = State::Lost;
    Record(slot, {slot.target, slot.round, slot.hop, HopResult::Kind::Lost, {}, 0, StampSource::User,
                  slot.times.sentWallNs});
  }
  const ProbeTag tag{token_, sequence, static_cast<std::uint32_t>(index), ProbeTag::Kind::Path,
                     static_cast<std::uint8_t>(t.nextHop)};
  const std::size_t length =
      BuildEchoRequest(FamilyOf(t.address), t.socket->Info().identifier, tag, settings_.payloadBytes, message_);
  const Instant now = clock_.Now();
  slot = {sequence, static_cast<std::uint32_t>(index), t.round, t.nextHop, {now.monoNs, now.wallNs, 0}, State::Pending};
  if (t.socket->Send(t.address, std::span(message_).first(length), t.nextHop) != 0) {
    // A probe the kernel would not send is a loss at that hop; the error
    // itself (no route) would be the same at every hop.
    slot.state = State::Lost;
    Record(slot, {slot.target, slot.round, slot.hop, HopResult::Kind::Lost, {}, 0, StampSource::User, now.wallNs});
    return;
  }
  deadlines_.push_back({at, sequence, now.monoNs + settings_.timeoutNs});
}

void PathProber::Expire(std::int64_t nowMonoNs) {
  while (!deadlines_.empty()) {
    const Deadline d = deadlines_.front();
    Slot& slot = slots_[d.slot];
    const bool ended = slot.sequence != d.sequence || slot.state != State::Pending;
    if (!ended && d.atMonoNs > nowMonoNs) break;
    deadlines_.pop_front();
    if (ended) continue;
    slot.state = State::Lost;
    Record(slot, {slot.target, slot.round, slot.hop, HopResult::Kind::Lost, {}, 0, StampSource::User,
                  slot.times.sentWallNs});
  }
}

bool PathProber::Drain() {
  bool more = false;
  for (IcmpSocket* socket : sockets_) {
    batch_.Clear();
    more |= socket->Receive(batch_, kReadLimit);
    if (batch_.items.empty()) continue;
    const std::int64_t readMonoNs = clock_.Now().monoNs;
    for (const Received& item : batch_.items) Handle(item, batch_.Bytes(item), *socket, readMonoNs);
  }
  return more;
}

PathProber::Slot* PathProber::Find(const EchoFields& fields, const Address& destination) {
  const std::uint64_t key = fields.tag ? fields.tag->sequence : fields.sequence16;
  Slot& slot = slots_[key & (slots_.size() - 1)];
  const bool same = fields.tag ? slot.sequence == fields.tag->sequence
                               : static_cast<std::uint16_t>(slot.sequence) == fields.sequence16;
  if (!same || slot.state == State::Empty || targets_[slot.target].address != destination) return nullptr;
  return &slot;
}

void PathProber::Handle(const Received& item, std::span<const std::uint8_t> bytes, IcmpSocket& socket,
                        std::int64_t readMonoNs) {
  if (item.kind == Received::Kind::TxStamp) {
    const auto fields = FindEchoByToken(bytes, token_);
    if (item.kernelNs == 0 || !fields || !fields->tag || fields->tag->kind != ProbeTag::Kind::Path) return;
    Slot& slot = slots_[fields->tag->sequence & (slots_.size() - 1)];
    if (slot.sequence == fields->tag->sequence && slot.state == State::Pending) slot.times.txKernelNs = item.kernelNs;
    return;
  }
  const SocketInfo info = socket.Info();
  const auto fields = ReadEcho(bytes, token_);
  const bool reply = item.kind == Received::Kind::Message;
  const std::uint8_t expected = reply ? (info.family == Family::V4 ? kEchoReplyV4 : kEchoReplyV6)
                                      : (info.family == Family::V4 ? kEchoRequestV4 : kEchoRequestV6);
  if (!fields || fields->type != expected || fields->identifier != info.identifier) {
    ++invalid_;
    return;
  }
  if (reply) {
    // The target quotes the whole probe: the tag must be there.
    Slot* slot = fields->tag && fields->tag->kind == ProbeTag::Kind::Path ? Find(*fields, item.peer) : nullptr;
    if (slot == nullptr) {
      ++invalid_;
      return;
    }
    Answer(*slot, HopResult::Kind::Reply, item.peer, item.kernelNs, readMonoNs, 0, 0);
    return;
  }
  if (fields->tag && fields->tag->kind != ProbeTag::Kind::Path) {
    ++invalid_;
    return;
  }
  Slot* slot = Find(*fields, item.peer);
  const ProbeError kind = IcmpErrorKind(info.family, item.errorType);
  if (slot == nullptr || kind == ProbeError::IcmpOther) {
    ++invalid_;
    return;
  }
  Answer(*slot, kind == ProbeError::IcmpTimeExceeded ? HopResult::Kind::TimeExceeded : HopResult::Kind::Unreachable,
         item.offender, item.kernelNs, readMonoNs, item.errorType, item.errorCode);
}

void PathProber::Answer(Slot& slot, HopResult::Kind kind, const Address& from, std::int64_t rxKernelNs,
                        std::int64_t readMonoNs, std::uint8_t icmpType, std::uint8_t icmpCode) {
  const RoundTrip rtt = ChooseRoundTrip(slot.times, rxKernelNs, readMonoNs);
  HopResult r{slot.target, slot.round, slot.hop, kind, from, rtt.ns, rtt.source, slot.times.sentWallNs,
              icmpType, icmpCode};
  if (slot.state == State::Pending && rtt.ns <= settings_.timeoutNs) {
    slot.state = State::Answered;
    Record(slot, r);
    return;
  }
  if (slot.state == State::Pending) {
    slot.state = State::Lost;
    Record(slot, {slot.target, slot.round, slot.hop, HopResult::Kind::Lost, {}, 0, StampSource::User,
                  slot.times.sentWallNs});
  }
  if (slot.state == State::Lost) {
    slot.state = State::Late;
    r.kind = HopResult::Kind::Late;
    Record(slot, r);
  }
  // A further copy of an answer tells nothing new about the hop.
}

void PathProber::NoteChange(Target& t, std::uint64_t round) {
  if (t.changedRound == round) return;
  t.changedRound = round;
  ++t.pathChanges;
}

void PathProber::Record(Slot& slot, const HopResult& result) {
  Target& t = targets_[slot.target];
  const int h = slot.hop;
  Hop& hop = t.hops[static_cast<std::size_t>(h - 1)];
  const bool ends = result.kind == HopResult::Kind::Reply || result.kind == HopResult::Kind::Unreachable;
  if (ends && (t.distance == 0 || h < t.distance)) {
    // The target (or the end of the road) is nearer than thought, or known
    // for the first time: rounds stop there from now on. Nearer within the
    // round that found it is no change: a loop held up sent past the
    // target, and a farther probe's answer came back first.
    if (t.distance != 0 && slot.round != t.distanceRound) NoteChange(t, slot.round);
    t.distance = h;
    t.distanceRound = slot.round;
    t.roundLimit = std::min(t.roundLimit, h);
  } else if (t.distance != 0 && h > t.distance) {
    return;  // sent past the target before its distance was known
  } else if (result.kind == HopResult::Kind::TimeExceeded && h == t.distance) {
    // A router now stands where the target answered: the path grew longer.
    NoteChange(t, slot.round);
    t.distance = 0;
    t.hops[static_cast<std::size_t>(h - 1)].shown.target = false;
  }
  HopFigures& shown = hop.shown;
  switch (result.kind) {
    case HopResult::Kind::Lost:
      hop.statistics.AddLoss(result.sentUnixNs / 1'000'000, 0);
      break;
    case HopResult::Kind::Late:
      ++shown.late;
      break;
    default:
      if (!shown.seen.empty() && shown.address != result.from) {
        ++shown.changes;
        NoteChange(t, slot.round);
      }
      shown.address = result.from;
      if (std::find(shown.seen.begin(), shown.seen.end(), result.from) == shown.seen.end() &&
          shown.seen.size() < kMaxSeen) {
        shown.seen.push_back(result.from);
      }
      shown.target = result.kind == HopResult::Kind::Reply;
      shown.unreachable = result.kind == HopResult::Kind::Unreachable;
      shown.lastNs = result.rttNs;
      hop.statistics.AddReply((result.rttNs + 500) / 1000);
      break;
  }
  Emit(result);
}

void PathProber::Emit(const HopResult& r) {
  if (sink_) sink_(r);
}

std::vector<PathSnapshot> PathProber::Snapshot() const {
  std::vector<PathSnapshot> paths;
  for (const Target& t : targets_) {
    PathSnapshot p;
    p.target = t.address;
    p.rounds = t.round + (t.nextHop > 1 ? 1 : 0);
    p.pathChanges = t.pathChanges;
    p.reached = t.distance != 0 && t.hops[static_cast<std::size_t>(t.distance - 1)].shown.target;
    int shown = t.distance;
    if (shown == 0) {
      // Not reached: up to the last hop that answered, and one more.
      int last = 0;
      for (int h = 1; h <= settings_.maxHops; ++h) {
        if (t.hops[static_cast<std::size_t>(h - 1)].statistics.Summary().received > 0) last = h;
      }
      shown = std::min(last + 1, settings_.maxHops);
    }
    for (int h = 1; h <= shown; ++h) {
      const Hop& hop = t.hops[static_cast<std::size_t>(h - 1)];
      HopFigures f = hop.shown;
      f.figures = hop.statistics.Summary();
      p.hops.push_back(std::move(f));
    }
    // Loss at a hop that a later hop does not share is the router's limit
    // on its own answers, not loss on the path.
    double laterLeast = 101;
    for (auto it = p.hops.rbegin(); it != p.hops.rend(); ++it) {
      const StatisticsSummary& s = it->figures;
      it->rateLimited = s.sent > 0 && s.lossPercent > laterLeast;
      if (s.sent > 0) laterLeast = std::min(laterLeast, s.lossPercent);
    }
    paths.push_back(std::move(p));
  }
  return paths;
}

}  // namespace quorvel::icmp
