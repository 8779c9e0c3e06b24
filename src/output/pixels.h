#pragma once

// Reading and writing single pixels of the raster formats; internal to the
// encoders and the gray conversion.

#include <cstdint>
#include <cstring>

#include "output/raster.h"

namespace quorvel::pixels {

struct Rgb {
  std::uint32_t r, g, b;
};

template <PixelFormat F>
inline Rgb Read(const std::uint8_t* row, int x) {
  if constexpr (F == PixelFormat::Xrgb32) {
    std::uint32_t w;
    std::memcpy(&w, row + static_cast<std::ptrdiff_t>(x) * 4, 4);
    return Rgb{(w >> 16) & 0xFFu, (w >> 8) & 0xFFu, w & 0xFFu};
  } else {
    const std::uint8_t* p = row + static_cast<std::ptrdiff_t>(x) * 3;
    return Rgb{p[0], p[1], p[2]};
  }
}

// Sets all three components to `level`; the X byte of Xrgb32 is kept.
template <PixelFormat F>
inline void WriteGray(std::uint8_t* row, int x, std::uint32_t level) {
  if constexpr (F == PixelFormat::Xrgb32) {
    std::uint8_t* p = row + static_cast<std::ptrdiff_t>(x) * 4;
    std::uint32_t w;
    std::memcpy(&w, p, 4);
    w = (w & 0xFF000000u) | (level * 0x010101u);
    std::memcpy(p, &w, 4);
  } else {
    std::uint8_t* p = row + static_cast<std::ptrdiff_t>(x) * 3;
    const auto v = static_cast<std::uint8_t>(level);
    p[0] = v;
    p[1] = v;
    p[2] = v;
  }
}

}  // namespace quorvel::pixels
