#pragma once

// Reading the fields of encoded files in the tests.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace quorvel::test {

inline std::uint32_t Le16(std::span<const std::uint8_t> b, std::size_t at) {
  return b[at] | (static_cast<std::uint32_t>(b[at + 1]) << 8);
}
inline std::uint32_t Le32(std::span<const std::uint8_t> b, std::size_t at) {
  return Le16(b, at) | (Le16(b, at + 2) << 16);
}
inline std::uint32_t Be16(std::span<const std::uint8_t> b, std::size_t at) {
  return (static_cast<std::uint32_t>(b[at]) << 8) | b[at + 1];
}
inline std::uint32_t Be32(std::span<const std::uint8_t> b, std::size_t at) {
  return (Be16(b, at) << 16) | Be16(b, at + 2);
}

// CRC-32 as PNG defines it, computed bit by bit (independent of zlib's).
inline std::uint32_t SlowCrc32(std::span<const std::uint8_t> bytes) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::uint8_t byte : bytes) {
    crc ^= byte;
    for (int k = 0; k < 8; ++k) crc = (crc & 1u) != 0 ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
  }
  return crc ^ 0xFFFFFFFFu;
}

}  // namespace quorvel::test
