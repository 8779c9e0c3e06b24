#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "icmp/clock.h"
#include "icmp/fifo.h"
#include "icmp/result.h"
#include "icmp/roundtrip.h"
#include "icmp/socket.h"

namespace quorvel::icmp {

// The timing of an echo run, in nanoseconds.
struct EchoSettings {
  std::int64_t intervalNs = 1'000'000'000;  // between two probes of one target
  std::int64_t timeoutNs = 800'000'000;     // a probe's deadline after its sending
  // How long after its deadline a reply is still told apart as Late (and a
  // second copy as Duplicate); an older one is only counted as stale.
  std::int64_t lateWindowNs = 5'000'000'000;
  // The loop's wake-up granularity: it bounds how many overdue probes go out
  // at once after a stall.
  std::int64_t pacingNs = 2'000'000;
  std::uint64_t count = 0;          // probes per target; 0: no end
  std::size_t payloadBytes = 56;    // kMinPayloadBytes to kMaxPayloadBytes
  int ttl = 0;                      // the TTL or hop limit; 0: the system's
};

// What the engine counted, over every target.
struct EchoCounters {
  std::uint64_t sent = 0;        // probes handed to the kernel
  std::uint64_t replies = 0;
  std::uint64_t lost = 0;
  std::uint64_t late = 0;
  std::uint64_t duplicates = 0;
  std::uint64_t errors = 0;      // probes ended by an Error (sending or ICMP)
  std::uint64_t sendErrors = 0;  // of which the kernel refused the send
  std::uint64_t sendBufferFull = 0;  // of which EAGAIN or ENOBUFS
  std::uint64_t skipped = 0;     // slots not probed because the loop was too late for them
  // Read but not ours: another program's echo replies (raw sockets see all).
  std::uint64_t foreign = 0;
  // Ours by identifier but not a reply to a probe of this run: no valid
  // tag (damaged, another run), an unknown target, the wrong source address,
  // a sequence never sent.
  std::uint64_t invalid = 0;
  std::uint64_t stale = 0;       // replies to probes older than the late window
  std::uint64_t kernelStamps = 0;         // replies timed by each source
  std::uint64_t kernelReceiveStamps = 0;
  std::uint64_t userStamps = 0;
  std::uint64_t overruns = 0;    // packets the kernel dropped: the receive buffer was full
};

// The echo probing of many targets through one socket per family, as a state
// machine: it is told to read, and asked to send and to end probes when the
// clock says so, but never waits itself; EchoEngine drives it from an event
// loop, tests drive it with a fake socket and clock.
//
// Target i is probed at begin + k x interval + i x interval / n (k = 0, 1...),
// so the probes of all targets are spread evenly over the interval. Each probe
// carries a tag (the run's token, target, sequence) and has a deadline; a
// reply matches when its identifier, source address, sequence and tag all
// agree. Per-probe state lives in a fixed ring per target that covers the
// timeout and the late window, so the cost per probe never grows with the
// run. The probes due at one step go to each socket in one call (in
// batches of up to 64) once a transmit timestamp has named its probe on
// that socket; until then, and on a socket without them, one call each, so
// that a probe timed by the clock at sending is not timed by the start of
// its batch.
//
// The sockets and the clock must outlive it; the sink is called from Step and
// Drain. Not thread-safe.
class EchoProber {
 public:
  EchoProber(EchoSettings settings, std::vector<Address> targets, IcmpSocket* v4, IcmpSocket* v6,
             const IcmpClock& clock, ResultSink sink, std::uint64_t token);

  // Sets slot 0 of target 0 at `startMonoNs`.
  void Begin(std::int64_t startMonoNs);
  // Reads what is waiting, ends the probes whose deadline has passed, then
  // sends those that are due. Returns the monotonic time at which it next
  // has something to do, or none once every target has made `count` probes
  // and every probe has ended.
  std::optional<std::int64_t> Step();
  // Reads what is waiting. True when the read stopped at its limit, so that
  // more may be waiting.
  bool Drain();
  // What Step would return now, without reading or sending: after a read
  // answered the last probes, the run may end sooner than planned.
  std::optional<std::int64_t> NextWake();

  // Whether the last reply read carried the kernel's receive timestamp: then
  // a reply read some time after it came is timed as well as one read at once.
  bool RepliesCarryStamps() const { return lastReplyStamped_; }

  const EchoCounters& Counters() const { return counters_; }
  std::size_t RingSize() const { return ringSize_; }

 private:
  enum class State : std::uint8_t { Empty, Pending, Replied, Lost, LateReplied, Failed };
  struct Slot {
    std::uint64_t sequence = 0;
    ProbeTimes times;
    State state = State::Empty;
  };
  // The probes built at one step for one socket, handed to it together.
  struct SendQueue {
    IcmpSocket* socket = nullptr;
    std::size_t limit = 1;  // messages per call: 1 until a transmit stamp named its probe
    struct Probe {
      std::uint32_t target;
      std::uint64_t sequence;
    };
    std::vector<Probe> probes;
    std::vector<Outgoing> out;
    std::vector<std::uint8_t> bytes;  // room for the largest batch of messages
  };
  struct Target {
    Address address;
    IcmpSocket* socket = nullptr;
    std::uint16_t identifier = 0;
    std::uint8_t queue = 0;  // in queues_
    std::uint64_t nextSequence = 0;
  };
  struct Deadline {
    std::uint32_t target;
    std::uint64_t sequence;
    std::int64_t atMonoNs;
  };

  Slot& SlotOf(std::uint32_t target, std::uint64_t sequence);
  std::int64_t SlotTime(std::uint64_t round, std::uint32_t index) const;
  void Expire(std::int64_t nowMonoNs);
  void SendDue(std::int64_t nowMonoNs);
  void Queue(std::uint32_t index);
  void Flush(SendQueue& queue);
  void Sent(std::uint32_t index, std::uint64_t sequence, const Instant& at, int error);
  void Advance();
  void Handle(const Received& item, std::span<const std::uint8_t> bytes, SendQueue& queue,
              std::int64_t readMonoNs);
  void OnReply(const Received& item, const EchoFields& fields, std::int64_t readMonoNs);
  void OnError(const Received& item, const EchoFields& fields, Family family);
  void OnTxStamp(const Received& item, std::span<const std::uint8_t> bytes, SendQueue& queue);
  void Emit(std::uint32_t target, const Slot& slot, Outcome outcome, RoundTrip rtt = {});

  EchoSettings settings_;
  std::vector<Target> targets_;
  std::vector<SendQueue> queues_;  // one per socket
  const IcmpClock& clock_;
  ResultSink sink_;
  std::uint64_t token_;
  std::size_t ringSize_ = 4;
  std::vector<Slot> slots_;
  Fifo<Deadline> deadlines_;
  std::map<Address, std::uint32_t> byAddress_;  // for errors that quote no tag
  std::int64_t startMonoNs_ = 0;
  std::uint64_t round_ = 0;
  std::uint32_t index_ = 0;
  std::size_t targetsDone_ = 0;  // targets that have made `count` probes
  std::size_t burstLimit_ = 16;
  std::size_t messageBytes_ = 0;
  bool lastReplyStamped_ = false;
  ReceiveBatch batch_;
  EchoCounters counters_;
};

}  // namespace quorvel::icmp
