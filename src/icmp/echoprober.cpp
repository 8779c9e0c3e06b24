#include "icmp/echoprober.h"

#include <algorithm>
#include <bit>
#include <utility>

namespace quorvel::icmp {
namespace {

constexpr std::size_t kReadLimit = 512;  // items per socket per Drain, so sending is not starved
constexpr std::size_t kSendBatch = 64;   // messages per call to a socket

std::size_t RingFor(const EchoSettings& s) {
  const auto slotsFor = [&](std::int64_t span) {
    return static_cast<std::size_t>((span + s.intervalNs - 1) / s.intervalNs) + 2;
  };
  // The ring must hold every probe that can still be pending; it also holds
  // the late window where that costs no more than 4096 slots per target.
  const std::size_t pending = std::bit_ceil(std::max<std::size_t>(4, slotsFor(s.timeoutNs)));
  const std::size_t late = std::bit_ceil(slotsFor(s.timeoutNs + s.lateWindowNs));
  return std::max(pending, std::min<std::size_t>(late, 4096));
}

Family FamilyOf(const Address& a) { return a.is_v4() ? Family::V4 : Family::V6; }

}  // namespace

EchoProber::EchoProber(EchoSettings settings, std::vector<Address> targets, IcmpSocket* v4, IcmpSocket* v6,
                       const IcmpClock& clock, ResultSink sink, std::uint64_t token)
    : settings_(settings), clock_(clock), sink_(std::move(sink)), token_(token) {
  settings_.payloadBytes = std::clamp(settings_.payloadBytes, kMinPayloadBytes, kMaxPayloadBytes);
  messageBytes_ = kIcmpHeaderBytes + settings_.payloadBytes;
  for (IcmpSocket* s : {v4, v6}) {
    if (s == nullptr) continue;
    SendQueue& q = queues_.emplace_back();
    q.socket = s;
    q.probes.reserve(kSendBatch);
    q.out.reserve(kSendBatch);
    q.bytes.resize(kSendBatch * messageBytes_);
  }
  targets_.reserve(targets.size());
  for (std::size_t i = 0; i < targets.size(); ++i) {
    Target t;
    t.address = targets[i];
    t.socket = t.address.is_v4() ? v4 : v6;
    if (t.socket != nullptr) t.identifier = t.socket->Info().identifier;
    t.queue = t.socket == v4 || v4 == nullptr ? 0 : 1;
    byAddress_.emplace(t.address, static_cast<std::uint32_t>(i));
    targets_.push_back(t);
  }
  ringSize_ = RingFor(settings_);
  slots_.resize(targets_.size() * ringSize_);
  // Probes due per wake-up, sixteen times over: a stall is caught up at that
  // pace instead of all at once, while wake-ups that come late because the
  // machine is busy (a step of 20 ms instead of 2) still keep up.
  const double perWake = static_cast<double>(targets_.size()) * static_cast<double>(settings_.pacingNs) /
                         static_cast<double>(settings_.intervalNs);
  burstLimit_ = std::max<std::size_t>(16, static_cast<std::size_t>(16 * perWake));
}

EchoProber::Slot& EchoProber::SlotOf(std::uint32_t target, std::uint64_t sequence) {
  return slots_[target * ringSize_ + (sequence & (ringSize_ - 1))];
}

std::int64_t EchoProber::SlotTime(std::uint64_t round, std::uint32_t index) const {
  const double offset = static_cast<double>(settings_.intervalNs) * index / static_cast<double>(targets_.size());
  return startMonoNs_ + static_cast<std::int64_t>(round) * settings_.intervalNs + static_cast<std::int64_t>(offset);
}

void EchoProber::Begin(std::int64_t startMonoNs) { startMonoNs_ = startMonoNs; }

std::optional<std::int64_t> EchoProber::Step() {
  // Replies already waiting are read before any deadline is judged, so a
  // reply that came in time is never taken for a loss because the loop was
  // busy.
  while (Drain()) {
  }
  const Instant now = clock_.Now();
  Expire(now.monoNs);
  SendDue(now.monoNs);
  return NextWake();
}

std::optional<std::int64_t> EchoProber::NextWake() {
  Expire(INT64_MIN);  // only drops the probes that ended
  const bool allSent = targets_.empty() || (settings_.count != 0 && targetsDone_ == targets_.size());
  if (allSent && deadlines_.empty()) return std::nullopt;
  std::int64_t next = INT64_MAX;
  if (!allSent) next = SlotTime(round_, index_);
  if (!deadlines_.empty()) next = std::min(next, deadlines_.front().atMonoNs);
  return next;
}

void EchoProber::Expire(std::int64_t nowMonoNs) {
  while (!deadlines_.empty()) {
    const Deadline d = deadlines_.front();
    Slot& slot = SlotOf(d.target, d.sequence);
    // Probes that ended already leave the queue whatever their deadline, so
    // that the loop neither wakes for them nor waits for them at the end.
    const bool ended = slot.sequence != d.sequence || slot.state != State::Pending;
    if (!ended && d.atMonoNs > nowMonoNs) break;
    deadlines_.pop_front();
    if (ended) continue;
    slot.state = State::Lost;
    ++counters_.lost;
    Emit(d.target, slot, Outcome::Lost);
  }
}

void EchoProber::SendDue(std::int64_t nowMonoNs) {
  std::size_t sent = 0;
  while (!(settings_.count != 0 && targetsDone_ == targets_.size()) && !targets_.empty() && sent < burstLimit_) {
    const std::int64_t due = SlotTime(round_, index_);
    if (due > nowMonoNs) break;
    const Target& t = targets_[index_];
    if (settings_.count != 0 && t.nextSequence >= settings_.count) {
      // This target is done; the others go on.
    } else if (nowMonoNs - due > settings_.intervalNs / 2) {
      // Too late for this slot: probing now would crowd the next one.
      ++counters_.skipped;
    } else {
      Queue(index_);
      ++sent;
    }
    Advance();
  }
  for (SendQueue& q : queues_) Flush(q);
}

void EchoProber::Advance() {
  if (++index_ == targets_.size()) {
    index_ = 0;
    ++round_;
  }
}

void EchoProber::Queue(std::uint32_t index) {
  Target& t = targets_[index];
  const std::uint64_t sequence = t.nextSequence++;
  if (settings_.count != 0 && t.nextSequence == settings_.count) ++targetsDone_;
  if (t.socket == nullptr) {
    Sent(index, sequence, clock_.Now(), -1);
    return;
  }
  SendQueue& q = queues_[t.queue];
  const ProbeTag tag{token_, sequence, index, ProbeTag::Kind::Echo, 0};
  const auto message = std::span(q.bytes).subspan(q.out.size() * messageBytes_, messageBytes_);
  BuildEchoRequest(FamilyOf(t.address), t.identifier, tag, settings_.payloadBytes, message);
  q.out.push_back({&t.address, message, settings_.ttl, 0});
  q.probes.push_back({index, sequence});
  if (q.out.size() >= q.limit) Flush(q);
}

void EchoProber::Flush(SendQueue& q) {
  if (q.out.empty()) return;
  // One reading of the clock for the batch: its probes leave within
  // microseconds of each other, and each is timed by its transmit stamp.
  const Instant now = clock_.Now();
  q.socket->SendBatch(q.out);
  for (std::size_t i = 0; i < q.out.size(); ++i) Sent(q.probes[i].target, q.probes[i].sequence, now, q.out[i].error);
  q.out.clear();
  q.probes.clear();
}

void EchoProber::Sent(std::uint32_t index, std::uint64_t sequence, const Instant& at, int error) {
  Slot& slot = SlotOf(index, sequence);
  if (slot.state == State::Pending) {
    // Only when the loop stalled for longer than the ring covers.
    slot.state = State::Lost;
    ++counters_.lost;
    Emit(index, slot, Outcome::Lost);
  }
  slot.sequence = sequence;
  slot.times = {at.monoNs, at.wallNs, 0};
  if (error == 0) {
    slot.state = State::Pending;
    ++counters_.sent;
    deadlines_.push_back({index, sequence, at.monoNs + settings_.timeoutNs});
    return;
  }
  slot.state = State::Failed;
  ++counters_.errors;
  ProbeResult r;
  r.target = index;
  r.sequence = sequence;
  r.outcome = Outcome::Error;
  r.sentUnixNs = at.wallNs;
  if (error < 0) {
    r.error = ProbeError::NoSocket;
  } else {
    ++counters_.sendErrors;
    r.error = SendErrorKind(error);
    r.systemError = error;
    if (r.error == ProbeError::BufferFull) ++counters_.sendBufferFull;
  }
  if (sink_) sink_(r);
}

bool EchoProber::Drain() {
  bool more = false;
  std::uint64_t overruns = 0;
  for (SendQueue& q : queues_) {
    batch_.Clear();
    more |= q.socket->Receive(batch_, kReadLimit);
    overruns += q.socket->Overruns();
    if (batch_.items.empty()) continue;
    const std::int64_t readMonoNs = clock_.Now().monoNs;
    for (const Received& item : batch_.items) Handle(item, batch_.Bytes(item), q, readMonoNs);
  }
  counters_.overruns = overruns;
  return more;
}

void EchoProber::Handle(const Received& item, std::span<const std::uint8_t> bytes, SendQueue& queue,
                        std::int64_t readMonoNs) {
  if (item.kind == Received::Kind::TxStamp) {
    OnTxStamp(item, bytes, queue);
    return;
  }
  const SocketInfo info = queue.socket->Info();
  const auto fields = ReadEcho(bytes, token_);
  const bool reply = item.kind == Received::Kind::Message;
  const std::uint8_t expected = reply ? (info.family == Family::V4 ? kEchoReplyV4 : kEchoReplyV6)
                                      : (info.family == Family::V4 ? kEchoRequestV4 : kEchoRequestV6);
  if (!fields || fields->type != expected || fields->code != 0) {
    ++counters_.invalid;
    return;
  }
  if (fields->identifier != info.identifier) {
    ++counters_.foreign;
    return;
  }
  if (reply) {
    OnReply(item, *fields, readMonoNs);
  } else {
    OnError(item, *fields, info.family);
  }
}

void EchoProber::OnReply(const Received& item, const EchoFields& fields, std::int64_t readMonoNs) {
  if (!fields.tag || fields.tag->kind != ProbeTag::Kind::Echo || fields.tag->target >= targets_.size()) {
    ++counters_.invalid;
    return;
  }
  const ProbeTag& tag = *fields.tag;
  const Target& t = targets_[tag.target];
  if (item.peer != t.address) {
    ++counters_.invalid;
    return;
  }
  Slot& slot = SlotOf(tag.target, tag.sequence);
  if (slot.sequence != tag.sequence || slot.state == State::Empty || slot.state == State::Failed) {
    if (tag.sequence < t.nextSequence) {
      ++counters_.stale;
    } else {
      ++counters_.invalid;
    }
    return;
  }
  const RoundTrip rtt = ChooseRoundTrip(slot.times, item.kernelNs, readMonoNs);
  lastReplyStamped_ = item.kernelNs != 0;
  switch (slot.state) {
    case State::Pending:
      if (rtt.ns <= settings_.timeoutNs) {
        slot.state = State::Replied;
        ++counters_.replies;
        ++(rtt.source == StampSource::Kernel          ? counters_.kernelStamps
           : rtt.source == StampSource::KernelReceive ? counters_.kernelReceiveStamps
                                                      : counters_.userStamps);
        Emit(tag.target, slot, Outcome::Reply, rtt);
        return;
      }
      // Read only now, after its deadline: lost, and late at once.
      ++counters_.lost;
      Emit(tag.target, slot, Outcome::Lost);
      [[fallthrough]];
    case State::Lost:
      slot.state = State::LateReplied;
      ++counters_.late;
      Emit(tag.target, slot, Outcome::Late, rtt);
      return;
    case State::Replied:
    case State::LateReplied:
      ++counters_.duplicates;
      Emit(tag.target, slot, Outcome::Duplicate, rtt);
      return;
    case State::Empty:
    case State::Failed:
      return;
  }
}

void EchoProber::OnError(const Received& item, const EchoFields& fields, Family family) {
  // Routers that quote only 8 bytes of the probe leave no tag: then the
  // destination and the 16-bit sequence name it.
  std::uint32_t target = 0;
  std::uint64_t sequence = 0;
  if (fields.tag) {
    target = fields.tag->target;
    sequence = fields.tag->sequence;
    if (fields.tag->kind != ProbeTag::Kind::Echo || target >= targets_.size() ||
        targets_[target].address != item.peer) {
      ++counters_.invalid;
      return;
    }
  } else {
    const auto found = byAddress_.find(item.peer);
    if (found == byAddress_.end()) {
      ++counters_.invalid;
      return;
    }
    target = found->second;
    sequence = SlotOf(target, fields.sequence16).sequence;
    if (static_cast<std::uint16_t>(sequence) != fields.sequence16) {
      ++counters_.invalid;
      return;
    }
  }
  Slot& slot = SlotOf(target, sequence);
  if (slot.sequence != sequence || slot.state != State::Pending) return;  // ended already
  slot.state = State::Failed;
  ++counters_.errors;
  ProbeResult r;
  r.target = target;
  r.sequence = sequence;
  r.outcome = Outcome::Error;
  r.sentUnixNs = slot.times.sentWallNs;
  r.error = IcmpErrorKind(family, item.errorType);
  r.icmpType = item.errorType;
  r.icmpCode = item.errorCode;
  r.from = item.offender;
  if (sink_) sink_(r);
}

void EchoProber::OnTxStamp(const Received& item, std::span<const std::uint8_t> bytes, SendQueue& queue) {
  // Where the kernel withholds the frame (net.core.tstamp_allow_data = 0
  // without CAP_NET_RAW) the stamp cannot be tied to its probe for sure, so
  // it is not used: those probes fall back to the clock at sending.
  const auto fields = FindEchoByToken(bytes, token_);
  if (item.kernelNs == 0 || !fields || !fields->tag || fields->tag->kind != ProbeTag::Kind::Echo ||
      fields->tag->target >= targets_.size()) {
    return;
  }
  // This socket's stamps name their probes: from now on its probes can go
  // out in batches without losing their own send times.
  queue.limit = kSendBatch;
  Slot& slot = SlotOf(fields->tag->target, fields->tag->sequence);
  if (slot.sequence == fields->tag->sequence && slot.state == State::Pending) slot.times.txKernelNs = item.kernelNs;
}

void EchoProber::Emit(std::uint32_t target, const Slot& slot, Outcome outcome, RoundTrip rtt) {
  if (!sink_) return;
  ProbeResult r;
  r.target = target;
  r.sequence = slot.sequence;
  r.outcome = outcome;
  r.sentUnixNs = slot.times.sentWallNs;
  if (outcome != Outcome::Lost) {
    r.rttNs = rtt.ns;
    r.stamp = rtt.source;
  }
  sink_(r);
}

}  // namespace quorvel::icmp
