#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace netsim {

using Bytes = std::vector<std::uint8_t>;

// An IPv4 or IPv6 address in network byte order.
struct IpAddress {
  bool v6 = false;
  std::array<std::uint8_t, 16> bytes{};  // IPv4 uses the first four

  // From its text form; nothing for anything else.
  static std::optional<IpAddress> Parse(std::string_view text);
  std::string ToString() const;
  // Whether it lies in 192.0.2.0/24, 198.51.100.0/24, 203.0.113.0/24 or
  // 2001:db8::/32, the only prefixes the simulated network routes.
  bool InSimulatedPrefixes() const;
  // The address `n` further on (carrying into higher bytes).
  IpAddress Plus(std::uint32_t n) const;
  std::size_t Size() const { return v6 ? 16 : 4; }
  auto operator<=>(const IpAddress&) const = default;
};

enum class IcmpKind {
  EchoRequest,
  EchoReply,
  TimeExceeded,
  Unreachable,
  Other,  // another ICMP type, or not ICMP at all
};

// What the simulator reads of one IP packet that came out of the TUN.
struct Packet {
  IpAddress source;
  IpAddress destination;
  int ttl = 0;          // TTL or hop limit as it arrived
  int protocol = 0;     // the upper-layer protocol (1 ICMP, 58 ICMPv6, 17 UDP...)
  int icmpType = -1;    // -1 when not ICMP
  IcmpKind kind = IcmpKind::Other;
  std::uint16_t identifier = 0;  // echo request only
  std::uint16_t sequence = 0;    // echo request only
  std::size_t payloadOffset = 0; // where the echo payload begins in `raw`
  Bytes raw;            // the whole packet
};

// Reads an IPv4 or IPv6 packet (IPv6 without extension headers before the
// upper layer). Nothing for a packet too short or malformed to route.
std::optional<Packet> ParsePacket(const std::uint8_t* data, std::size_t size);

// The ones' complement sum of RFC 1071 over `data`, folded, not inverted,
// started from `sum`.
std::uint32_t ChecksumAdd(std::uint32_t sum, const std::uint8_t* data, std::size_t size);
std::uint16_t ChecksumFinish(std::uint32_t sum);

// What a reply's ICMP message is made of.
enum class Damage { None, Payload, Identifier, Checksum };

// The echo reply to `request` from its destination, with `ttl`. `damage`
// spoils it: Payload flips the payload bytes past the first 16 (the sender's
// time stamp stays readable), Identifier replaces the identifier with
// `otherIdentifier`, Checksum leaves a wrong ICMP checksum.
Bytes EchoReply(const Packet& request, int ttl, Damage damage = Damage::None,
                std::uint16_t otherIdentifier = 0);

// An ICMP error about `offending` from `from` with `ttl`: time exceeded in
// transit, or destination (host / address) unreachable. It quotes as much of
// the offending packet as the minimum MTU allows, as routers do.
Bytes TimeExceeded(const Packet& offending, const IpAddress& from, int ttl);
Bytes Unreachable(const Packet& offending, const IpAddress& from, int ttl);

}  // namespace netsim
