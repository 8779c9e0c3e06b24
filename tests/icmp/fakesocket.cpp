#include "icmp/fakesocket.h"

#include <algorithm>

namespace quorvel::icmp::testing {

FakeSocket::FakeSocket(Family family, std::uint16_t identifier, const ManualClock& clock) : clock_(clock) {
  info_.family = family;
  info_.identifier = identifier;
  info_.stamps = StampSource::Kernel;
}

int FakeSocket::Send(const Address& to, std::span<const std::uint8_t> message, int ttl) {
  if (sendError) {
    if (const int e = sendError(to)) return e;
  }
  sent.push_back({to, {message.begin(), message.end()}, ttl, clock_.monoNs});
  return 0;
}

void FakeSocket::SendBatch(std::span<Outgoing> batch) {
  batches.push_back(batch.size());
  for (Outgoing& out : batch) out.error = Send(*out.to, out.message, out.ttl);
}

bool FakeSocket::Receive(ReceiveBatch& batch, std::size_t limit) {
  std::size_t n = 0;
  while (!incoming_.empty() && n < limit) {
    const Queued& q = incoming_.front();
    Received& r = batch.Add(q.item.kind, q.bytes);
    const auto offset = r.offset;
    const auto length = r.length;
    r = q.item;
    r.offset = offset;
    r.length = length;
    incoming_.pop_front();
    ++n;
  }
  return !incoming_.empty();
}

std::vector<std::uint8_t> ReplyOf(Family family, std::vector<std::uint8_t> request) {
  request[0] = family == Family::V4 ? kEchoReplyV4 : kEchoReplyV6;
  request[2] = request[3] = 0;
  return request;
}

void FakeSocket::QueueMessage(std::vector<std::uint8_t> message, const Address& from, std::int64_t rxKernelNs) {
  Received r;
  r.kind = Received::Kind::Message;
  r.peer = from;
  r.kernelNs = rxKernelNs;
  incoming_.push_back({r, std::move(message)});
}

void FakeSocket::QueueReply(const Sent& probe, std::int64_t rxKernelNs, const Address* from) {
  QueueMessage(ReplyOf(info_.family, probe.message), from ? *from : probe.to, rxKernelNs);
}

void FakeSocket::QueueTxStamp(const Sent& probe, std::int64_t txKernelNs) {
  Received r;
  r.kind = Received::Kind::TxStamp;
  r.kernelNs = txKernelNs;
  // As on loopback: a 14-byte link header and an IPv4 header before the message.
  std::vector<std::uint8_t> frame(14 + 20, 0);
  frame.insert(frame.end(), probe.message.begin(), probe.message.end());
  incoming_.push_back({r, std::move(frame)});
}

void FakeSocket::QueueError(const Sent& probe, const Address& offender, std::uint8_t type, std::uint8_t code,
                            std::size_t quoteBytes, std::int64_t rxKernelNs) {
  Received r;
  r.kind = Received::Kind::Error;
  r.peer = probe.to;
  r.offender = offender;
  r.errorType = type;
  r.errorCode = code;
  r.kernelNs = rxKernelNs;
  const auto n = static_cast<std::ptrdiff_t>(std::min(quoteBytes, probe.message.size()));
  incoming_.push_back({r, std::vector<std::uint8_t>(probe.message.begin(), probe.message.begin() + n)});
}

}  // namespace quorvel::icmp::testing
