#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include <boost/asio/ip/address.hpp>

#include "icmp/packet.h"

namespace quorvel::icmp {

using Address = boost::asio::ip::address;

enum class SocketKind : std::uint8_t {
  Datagram,  // SOCK_DGRAM ICMP: the kernel picks the identifier and sorts replies
  Raw,       // SOCK_RAW: needs CAP_NET_RAW; sees every echo reply of the host
};

// Where the round-trip times of a socket come from, best first.
enum class StampSource : std::uint8_t {
  Kernel,         // kernel transmit and receive timestamps (one clock)
  KernelReceive,  // kernel receive timestamp, the clock read just before sending
  User,           // the monotonic clock read at sending and at reading
};
const char* StampSourceName(StampSource source);  // "kernel", "kernel-receive", "user"

// One thing read from a socket.
struct Received {
  enum class Kind : std::uint8_t {
    Message,  // an ICMP message (an echo reply); `peer` sent it
    Error,    // an ICMP error about a probe of ours, from the error queue
    TxStamp,  // the transmit timestamp of a probe of ours
  };
  Kind kind = Kind::Message;
  Address peer;      // Message: the sender; Error: the probe's destination
  Address offender;  // Error: the router (or host) that sent the error
  std::uint8_t errorType = 0;  // Error: the ICMP type and code of the error
  std::uint8_t errorCode = 0;
  int errorNumber = 0;         // Error: the errno the kernel maps it to
  std::int64_t kernelNs = 0;   // the kernel's timestamp (CLOCK_REALTIME), 0 when none
  std::uint32_t key = 0;       // TxStamp: the kernel's counter of sends
  // The bytes in the batch: Message, the ICMP message; Error, the probe's
  // ICMP message as quoted back; TxStamp, the frame sent, or nothing.
  std::uint32_t offset = 0;
  std::uint32_t length = 0;
};

// What one Receive call read, kept between calls so that reading allocates
// nothing once the batch has grown to its working size.
class ReceiveBatch {
 public:
  void Clear();
  Received& Add(Received::Kind kind, std::span<const std::uint8_t> bytes);
  std::span<const std::uint8_t> Bytes(const Received& item) const;
  std::vector<Received> items;

 private:
  std::vector<std::uint8_t> bytes_;
};

// One message of a batch for IcmpSocket::SendBatch.
struct Outgoing {
  const Address* to = nullptr;  // must outlive the call
  std::span<const std::uint8_t> message;
  int ttl = 0;    // as for Send
  int error = 0;  // set by SendBatch: what Send would have returned
};

struct SocketInfo {
  Family family = Family::V4;
  SocketKind kind = SocketKind::Datagram;
  std::uint16_t identifier = 0;  // the echo identifier replies carry
  StampSource stamps = StampSource::User;  // the best the socket was set up for
  int receiveBufferBytes = 0;
};

// An ICMP socket of one family as the engine uses it. Not thread-safe: one
// loop owns it.
class IcmpSocket {
 public:
  virtual ~IcmpSocket() = default;
  virtual SocketInfo Info() const = 0;
  // Sends an ICMP message to `to`; `ttl` > 0 sets the TTL or hop limit of
  // this message alone. 0 when sent, otherwise the errno (EAGAIN, ENOBUFS,
  // EHOSTUNREACH...). Never blocks.
  virtual int Send(const Address& to, std::span<const std::uint8_t> message, int ttl) = 0;
  // Sends the messages in order, each as Send would, in as few calls to the
  // kernel as it can, and sets each one's `error`. Never blocks.
  virtual void SendBatch(std::span<Outgoing> batch) = 0;
  // Appends to `batch` what is waiting, transmit timestamps and errors
  // before messages, at most `limit` items. Never blocks. Returns whether
  // more may be waiting (the limit was reached).
  virtual bool Receive(ReceiveBatch& batch, std::size_t limit) = 0;
  // The packets the kernel dropped because the receive buffer was full.
  virtual std::uint64_t Overruns() const = 0;
  // The descriptor to wait on for reading, or -1 (a socket to be polled).
  virtual int Handle() const = 0;
};

}  // namespace quorvel::icmp
