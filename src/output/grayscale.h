#pragma once

#include <cstdint>

#include "output/raster.h"

namespace quorvel {

// The gray level of one pixel: round(0.3 R + 0.6 G + 0.1 B), evaluated left
// to right in extended precision (64-bit significand, every product and sum
// rounded to it) and rounded to the nearest integer, exact halves to even.
// The float rounding decides the halves: (255, 0, 0) gives 76, (0, 0, 255)
// gives 26, but (0, 1, 99) gives 11 where the exact tenths would give 10.
std::uint8_t GrayLevel(unsigned red, unsigned green, unsigned blue);

// Turns every pixel of `raster` into (g, g, g) with g = GrayLevel of its
// components, in place, and returns the same view. The raster stays a
// true-colour raster. Caller's thread; the pixels must not be read or written
// elsewhere meanwhile.
MutableRasterView ConvertBitmapToGrayscale1(MutableRasterView raster);

}  // namespace quorvel
