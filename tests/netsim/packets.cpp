#include "packets.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstring>

namespace netsim {

namespace {

constexpr int kIcmp = 1;
constexpr int kIcmpV6 = 58;

std::uint16_t Read16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] << 8 | p[1]); }
void Write16(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 8);
  p[1] = static_cast<std::uint8_t>(v);
}

// The sum of the IPv6 pseudo-header of an ICMPv6 message of `length` bytes.
std::uint32_t PseudoHeaderSum(const IpAddress& source, const IpAddress& destination,
                              std::size_t length) {
  std::uint32_t sum = ChecksumAdd(0, source.bytes.data(), 16);
  sum = ChecksumAdd(sum, destination.bytes.data(), 16);
  const std::uint8_t tail[8] = {static_cast<std::uint8_t>(length >> 24),
                                static_cast<std::uint8_t>(length >> 16),
                                static_cast<std::uint8_t>(length >> 8),
                                static_cast<std::uint8_t>(length), 0, 0, 0, kIcmpV6};
  return ChecksumAdd(sum, tail, sizeof tail);
}

std::uint16_t g_ipIdentification = 1;

// An IP packet from `source` to `destination` carrying the ICMP message
// `icmp`, whose checksum field is filled in here (then spoilt if asked).
Bytes Wrap(const IpAddress& source, const IpAddress& destination, int ttl, Bytes icmp,
           bool badChecksum = false) {
  icmp[2] = icmp[3] = 0;
  std::uint32_t sum = source.v6 ? PseudoHeaderSum(source, destination, icmp.size()) : 0;
  std::uint16_t checksum = ChecksumFinish(ChecksumAdd(sum, icmp.data(), icmp.size()));
  if (badChecksum) checksum = static_cast<std::uint16_t>(checksum ^ 0x00ff);
  Write16(&icmp[2], checksum);

  Bytes packet;
  const auto hop = static_cast<std::uint8_t>(std::clamp(ttl, 1, 255));
  if (source.v6) {
    packet.resize(40);
    packet[0] = 0x60;
    Write16(&packet[4], static_cast<std::uint32_t>(icmp.size()));
    packet[6] = kIcmpV6;
    packet[7] = hop;
    std::memcpy(&packet[8], source.bytes.data(), 16);
    std::memcpy(&packet[24], destination.bytes.data(), 16);
  } else {
    packet.resize(20);
    packet[0] = 0x45;
    Write16(&packet[2], static_cast<std::uint32_t>(20 + icmp.size()));
    Write16(&packet[4], g_ipIdentification++);
    packet[8] = hop;
    packet[9] = kIcmp;
    std::memcpy(&packet[12], source.bytes.data(), 4);
    std::memcpy(&packet[16], destination.bytes.data(), 4);
    Write16(&packet[10], ChecksumFinish(ChecksumAdd(0, packet.data(), 20)));
  }
  packet.insert(packet.end(), icmp.begin(), icmp.end());
  return packet;
}

Bytes Error(const Packet& offending, const IpAddress& from, int ttl, int type, int code) {
  // RFC 792 asks for the header and 8 bytes; like Linux we quote up to the
  // minimum MTU (576 for IPv4, 1280 for IPv6) less our own headers.
  const std::size_t room = offending.source.v6 ? 1280 - 48 : 576 - 28;
  Bytes icmp = {static_cast<std::uint8_t>(type), static_cast<std::uint8_t>(code), 0, 0, 0, 0, 0, 0};
  const std::size_t quoted = std::min(room, offending.raw.size());
  icmp.insert(icmp.end(), offending.raw.begin(), offending.raw.begin() + static_cast<long>(quoted));
  return Wrap(from, offending.source, ttl, std::move(icmp));
}

}  // namespace

std::optional<IpAddress> IpAddress::Parse(std::string_view text) {
  const std::string s(text);
  IpAddress a;
  if (inet_pton(AF_INET, s.c_str(), a.bytes.data()) == 1) return a;
  a.v6 = true;
  if (inet_pton(AF_INET6, s.c_str(), a.bytes.data()) == 1) return a;
  return std::nullopt;
}

std::string IpAddress::ToString() const {
  char text[INET6_ADDRSTRLEN] = {};
  inet_ntop(v6 ? AF_INET6 : AF_INET, bytes.data(), text, sizeof text);
  return text;
}

bool IpAddress::InSimulatedPrefixes() const {
  const auto& b = bytes;
  if (v6) return b[0] == 0x20 && b[1] == 0x01 && b[2] == 0x0d && b[3] == 0xb8;
  return (b[0] == 192 && b[1] == 0 && b[2] == 2) || (b[0] == 198 && b[1] == 51 && b[2] == 100) ||
         (b[0] == 203 && b[1] == 0 && b[2] == 113);
}

IpAddress IpAddress::Plus(std::uint32_t n) const {
  IpAddress a = *this;
  std::uint64_t carry = n;
  for (std::size_t i = Size(); i-- > 0 && carry != 0;) {
    carry += a.bytes[i];
    a.bytes[i] = static_cast<std::uint8_t>(carry);
    carry >>= 8;
  }
  return a;
}

std::uint32_t ChecksumAdd(std::uint32_t sum, const std::uint8_t* data, std::size_t size) {
  for (std::size_t i = 0; i + 1 < size; i += 2) sum += Read16(data + i);
  if (size % 2 != 0) sum += static_cast<std::uint32_t>(data[size - 1]) << 8;
  while (sum >> 16) sum = (sum & 0xffff) + (sum >> 16);
  return sum;
}

std::uint16_t ChecksumFinish(std::uint32_t sum) {
  while (sum >> 16) sum = (sum & 0xffff) + (sum >> 16);
  return static_cast<std::uint16_t>(~sum & 0xffff);
}

std::optional<Packet> ParsePacket(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return std::nullopt;
  Packet p;
  std::size_t header = 0;
  const int version = data[0] >> 4;
  if (version == 4) {
    header = static_cast<std::size_t>(data[0] & 0x0f) * 4;
    if (size < 20 || header < 20 || size < header) return std::nullopt;
    p.ttl = data[8];
    p.protocol = data[9];
    std::memcpy(p.source.bytes.data(), data + 12, 4);
    std::memcpy(p.destination.bytes.data(), data + 16, 4);
  } else if (version == 6) {
    header = 40;
    if (size < header) return std::nullopt;
    p.source.v6 = p.destination.v6 = true;
    p.protocol = data[6];
    p.ttl = data[7];
    std::memcpy(p.source.bytes.data(), data + 8, 16);
    std::memcpy(p.destination.bytes.data(), data + 24, 16);
  } else {
    return std::nullopt;
  }
  p.raw.assign(data, data + size);
  const bool icmp = (version == 4 && p.protocol == kIcmp) || (version == 6 && p.protocol == kIcmpV6);
  if (icmp && size >= header + 8) {
    p.icmpType = data[header];
    const bool request = version == 4 ? p.icmpType == 8 : p.icmpType == 128;
    const bool reply = version == 4 ? p.icmpType == 0 : p.icmpType == 129;
    const bool exceeded = version == 4 ? p.icmpType == 11 : p.icmpType == 3;
    const bool unreachable = version == 4 ? p.icmpType == 3 : p.icmpType == 1;
    p.kind = request ? IcmpKind::EchoRequest
             : reply ? IcmpKind::EchoReply
             : exceeded ? IcmpKind::TimeExceeded
             : unreachable ? IcmpKind::Unreachable
                           : IcmpKind::Other;
    p.identifier = Read16(data + header + 4);
    p.sequence = Read16(data + header + 6);
    p.payloadOffset = header + 8;
  }
  return p;
}

Bytes EchoReply(const Packet& request, int ttl, Damage damage, std::uint16_t otherIdentifier) {
  Bytes icmp(request.raw.begin() + static_cast<long>(request.payloadOffset - 8), request.raw.end());
  icmp[0] = request.source.v6 ? 129 : 0;
  icmp[1] = 0;
  if (damage == Damage::Identifier) Write16(&icmp[4], otherIdentifier);
  if (damage == Damage::Payload) {
    // Past iputils' 16-byte time stamp where the payload is long enough, so
    // that the reply still carries its send time.
    const std::size_t first = icmp.size() > 8 + 16 ? 8 + 16 : 8;
    if (icmp.size() == 8) icmp.push_back(0);
    for (std::size_t i = first; i < icmp.size(); ++i) icmp[i] = static_cast<std::uint8_t>(icmp[i] ^ 0xa5);
  }
  return Wrap(request.destination, request.source, ttl, std::move(icmp), damage == Damage::Checksum);
}

Bytes TimeExceeded(const Packet& offending, const IpAddress& from, int ttl) {
  return Error(offending, from, ttl, offending.source.v6 ? 3 : 11, 0);
}

Bytes Unreachable(const Packet& offending, const IpAddress& from, int ttl) {
  // Host unreachable (IPv4), address unreachable (IPv6).
  return offending.source.v6 ? Error(offending, from, ttl, 1, 3) : Error(offending, from, ttl, 3, 1);
}

}  // namespace netsim
