#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace quorvel::icmp {

enum class Family : std::uint8_t { V4, V6 };

// ICMP and ICMPv6 message types the engine sends or reads.
inline constexpr std::uint8_t kEchoRequestV4 = 8;
inline constexpr std::uint8_t kEchoReplyV4 = 0;
inline constexpr std::uint8_t kEchoRequestV6 = 128;
inline constexpr std::uint8_t kEchoReplyV6 = 129;
inline constexpr std::uint8_t kTimeExceededV4 = 11;
inline constexpr std::uint8_t kUnreachableV4 = 3;
inline constexpr std::uint8_t kTimeExceededV6 = 3;
inline constexpr std::uint8_t kUnreachableV6 = 1;

inline constexpr std::size_t kIcmpHeaderBytes = 8;

// What every probe carries at the start of its echo payload, so that a reply
// names its probe however the kernel or a router treated the header. The
// token is drawn at random once per run: a reply to another run or another
// program cannot match.
struct ProbeTag {
  enum class Kind : std::uint8_t { Echo = 0, Path = 1 };
  std::uint64_t token = 0;
  std::uint64_t sequence = 0;  // the probe's full sequence number; the header holds its low 16 bits
  std::uint32_t target = 0;    // the index of the target
  Kind kind = Kind::Echo;
  std::uint8_t ttl = 0;        // the TTL or hop limit it was sent with (path probes)
};
inline constexpr std::size_t kTagBytes = 24;
inline constexpr std::size_t kMinPayloadBytes = kTagBytes;
inline constexpr std::size_t kMaxPayloadBytes = 1400;

// The Internet checksum (RFC 1071) of `bytes`.
std::uint16_t InternetChecksum(std::span<const std::uint8_t> bytes);

// Writes an echo request of `payloadBytes` payload (kMinPayloadBytes to
// kMaxPayloadBytes) into `out`, which must hold kIcmpHeaderBytes +
// payloadBytes: the header with `identifier` and the low 16 bits of the
// tag's sequence, the tag, then filler bytes that depend on the sequence (so
// that a corrupted reply is seen). The IPv4 checksum is filled in; the
// kernel fills in that of ICMPv6. Returns the message length.
std::size_t BuildEchoRequest(Family family, std::uint16_t identifier, const ProbeTag& tag,
                             std::size_t payloadBytes, std::span<std::uint8_t> out);

// The fields of an ICMP echo message (request or reply) as read back.
struct EchoFields {
  std::uint8_t type = 0;
  std::uint8_t code = 0;
  std::uint16_t identifier = 0;
  std::uint16_t sequence16 = 0;
  // The tag, when the payload holds one whose filler is intact and whose
  // sequence agrees with the header; none for a short or damaged payload.
  std::optional<ProbeTag> tag;
};

// Reads an echo message starting at its ICMP header. None when it is
// shorter than a header. A tag is read only when its token is `token`.
std::optional<EchoFields> ReadEcho(std::span<const std::uint8_t> message, std::uint64_t token);

// The ICMP message inside an IPv4 packet as a raw socket delivers it (IP
// header first); empty when the header is malformed.
std::span<const std::uint8_t> Ipv4Payload(std::span<const std::uint8_t> packet);

// Finds the echo request carrying `token` anywhere in `frame` (a transmit
// timestamp returns the whole frame, link header included, whose length
// depends on the device) and reads it. The filler is not checked, since a
// device may pad the frame after the message.
std::optional<EchoFields> FindEchoByToken(std::span<const std::uint8_t> frame, std::uint64_t token);

}  // namespace quorvel::icmp
