#include "icmp/packet.h"

#include <algorithm>
#include <cstring>

namespace quorvel::icmp {
namespace {

std::uint16_t Read16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] << 8 | p[1]); }

void Write16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 8);
  p[1] = static_cast<std::uint8_t>(v);
}

// The filler after the tag: a pattern that moves with the sequence, so that
// a reply whose payload was damaged (or built by someone else) fails.
std::uint8_t Filler(std::size_t index, std::uint64_t sequence) {
  return static_cast<std::uint8_t>(0x5a ^ (index + sequence * 31));
}

void WriteTag(std::uint8_t* p, const ProbeTag& tag) {
  std::memcpy(p, &tag.token, 8);
  std::memcpy(p + 8, &tag.sequence, 8);
  std::memcpy(p + 16, &tag.target, 4);
  p[20] = static_cast<std::uint8_t>(tag.kind);
  p[21] = tag.ttl;
  p[22] = 0;
  p[23] = 0;
}

std::optional<EchoFields> Read(std::span<const std::uint8_t> message, std::uint64_t token,
                               bool checkFiller) {
  if (message.size() < kIcmpHeaderBytes) return std::nullopt;
  EchoFields f;
  f.type = message[0];
  f.code = message[1];
  f.identifier = Read16(&message[4]);
  f.sequence16 = Read16(&message[6]);
  const auto payload = message.subspan(kIcmpHeaderBytes);
  if (payload.size() < kTagBytes) return f;
  ProbeTag tag;
  std::memcpy(&tag.token, payload.data(), 8);
  if (tag.token != token) return f;
  std::memcpy(&tag.sequence, payload.data() + 8, 8);
  std::memcpy(&tag.target, payload.data() + 16, 4);
  if (payload[20] > static_cast<std::uint8_t>(ProbeTag::Kind::Path)) return f;
  tag.kind = static_cast<ProbeTag::Kind>(payload[20]);
  tag.ttl = payload[21];
  if (static_cast<std::uint16_t>(tag.sequence) != f.sequence16) return f;
  for (std::size_t i = kTagBytes; checkFiller && i < payload.size(); ++i) {
    if (payload[i] != Filler(i, tag.sequence)) return f;
  }
  f.tag = tag;
  return f;
}

}  // namespace

std::uint16_t InternetChecksum(std::span<const std::uint8_t> bytes) {
  std::uint32_t sum = 0;
  std::size_t i = 0;
  for (; i + 1 < bytes.size(); i += 2) sum += Read16(&bytes[i]);
  if (i < bytes.size()) sum += static_cast<std::uint32_t>(bytes[i]) << 8;
  while (sum >> 16) sum = (sum & 0xffff) + (sum >> 16);
  return static_cast<std::uint16_t>(~sum);
}

std::size_t BuildEchoRequest(Family family, std::uint16_t identifier, const ProbeTag& tag,
                             std::size_t payloadBytes, std::span<std::uint8_t> out) {
  const std::size_t length = kIcmpHeaderBytes + payloadBytes;
  std::uint8_t* p = out.data();
  p[0] = family == Family::V4 ? kEchoRequestV4 : kEchoRequestV6;
  p[1] = 0;
  Write16(p + 2, 0);
  Write16(p + 4, identifier);
  Write16(p + 6, static_cast<std::uint16_t>(tag.sequence));
  WriteTag(p + kIcmpHeaderBytes, tag);
  for (std::size_t i = kTagBytes; i < payloadBytes; ++i) p[kIcmpHeaderBytes + i] = Filler(i, tag.sequence);
  if (family == Family::V4) Write16(p + 2, InternetChecksum(out.first(length)));
  return length;
}

std::optional<EchoFields> ReadEcho(std::span<const std::uint8_t> message, std::uint64_t token) {
  return Read(message, token, true);
}

std::span<const std::uint8_t> Ipv4Payload(std::span<const std::uint8_t> packet) {
  if (packet.size() < 20 || (packet[0] >> 4) != 4) return {};
  const std::size_t headerBytes = static_cast<std::size_t>(packet[0] & 0x0f) * 4;
  if (headerBytes < 20 || headerBytes > packet.size()) return {};
  return packet.subspan(headerBytes);
}

std::optional<EchoFields> FindEchoByToken(std::span<const std::uint8_t> frame, std::uint64_t token) {
  std::uint8_t needle[8];
  std::memcpy(needle, &token, 8);
  const auto begin = frame.begin() + static_cast<std::ptrdiff_t>(std::min(frame.size(), kIcmpHeaderBytes));
  const auto at = std::search(begin, frame.end(), std::begin(needle), std::end(needle));
  if (at == frame.end()) return std::nullopt;
  const auto offset = static_cast<std::size_t>(at - frame.begin()) - kIcmpHeaderBytes;
  // The device may pad the frame after the message, so the filler is not
  // checked here; the tag alone names the probe.
  return Read(frame.subspan(offset), token, false);
}

}  // namespace quorvel::icmp
