#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

#include "icmp/clock.h"
#include "icmp/socket.h"

namespace quorvel::icmp::testing {

// A clock moved by hand; the wall clock runs a fixed offset ahead of the
// monotonic one.
class ManualClock final : public IcmpClock {
 public:
  static constexpr std::int64_t kWallOffsetNs = 1'700'000'000'000'000'000;
  Instant Now() const override { return {monoNs, monoNs + kWallOffsetNs}; }
  std::int64_t Wall(std::int64_t mono) const { return mono + kWallOffsetNs; }
  std::int64_t monoNs = 1'000'000'000;
};

// A socket without a network: it records what is sent and hands out what a
// test queued, as the kernel socket would present it.
class FakeSocket final : public IcmpSocket {
 public:
  struct Sent {
    Address to;
    std::vector<std::uint8_t> message;
    int ttl = 0;
    std::int64_t atMonoNs = 0;
  };

  FakeSocket(Family family, std::uint16_t identifier, const ManualClock& clock);

  SocketInfo Info() const override { return info_; }
  int Send(const Address& to, std::span<const std::uint8_t> message, int ttl) override;
  void SendBatch(std::span<Outgoing> batch) override;
  bool Receive(ReceiveBatch& batch, std::size_t limit) override;
  std::uint64_t Overruns() const override { return 0; }
  int Handle() const override { return -1; }

  // The echo reply to `probe` as its target (or `from`) sends it, received
  // at `rxKernelNs` (0: without a kernel stamp).
  void QueueReply(const Sent& probe, std::int64_t rxKernelNs, const Address* from = nullptr);
  // Any ICMP message from `from`.
  void QueueMessage(std::vector<std::uint8_t> message, const Address& from, std::int64_t rxKernelNs);
  void QueueTxStamp(const Sent& probe, std::int64_t txKernelNs);
  // An ICMP error about `probe` from `offender`, quoting `quoteBytes` of it
  // (8: only the header, as old routers do).
  void QueueError(const Sent& probe, const Address& offender, std::uint8_t type, std::uint8_t code,
                  std::size_t quoteBytes, std::int64_t rxKernelNs);

  std::vector<Sent> sent;
  std::vector<std::size_t> batches;  // the size of each SendBatch call
  // The errno for the next sends, 0 for success.
  std::function<int(const Address&)> sendError;

 private:
  struct Queued {
    Received item;
    std::vector<std::uint8_t> bytes;
  };
  SocketInfo info_;
  const ManualClock& clock_;
  std::deque<Queued> incoming_;
};

// The echo reply to an echo request: the same message with the reply type.
std::vector<std::uint8_t> ReplyOf(Family family, std::vector<std::uint8_t> request);

}  // namespace quorvel::icmp::testing
