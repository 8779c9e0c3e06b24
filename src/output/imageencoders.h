#pragma once

#include <cstdint>
#include <vector>

#include "base/status.h"
#include "output/raster.h"

namespace quorvel {

// The four image encoders. Each replaces the content of `out` with the whole
// encoded file and reports success or, on failure, the reason (then `out`
// holds nothing useful). They only read the raster, allocate nothing that
// outlives the call and keep no state, so any thread may call them on a
// raster no one is writing to.

// Uncompressed Windows bitmap: BITMAPFILEHEADER, BITMAPINFOHEADER, 24 bits
// per pixel, rows bottom-up in B, G, R order, each padded to 4 bytes.
Status EncodeBmp(const RasterView& raster, std::vector<std::uint8_t>& out);

// Baseline sequential JFIF with three components (also for gray pixels),
// libjpeg's default settings and the given quality (1..100).
Status EncodeJpeg(const RasterView& raster, int quality, std::vector<std::uint8_t>& out);

// Single-image GIF89a, 8 bits per pixel, LZW-compressed. The global colour
// table holds the 216 colours of the levels 0, 51, 102, 153, 204, 255 at
// index 36 r + 6 g + b (level indices 0..5), then 40 black entries. Each
// component c is mapped, without dithering, to the level index (c + 3) / 51.
Status EncodeGif(const RasterView& raster, std::vector<std::uint8_t>& out);

// Truecolour PNG (colour type 2, 8 bits, not interlaced), every row filtered
// with Sub, deflated by zlib at level 7, in IDAT chunks of at most 65,535
// data bytes.
Status EncodePng(const RasterView& raster, std::vector<std::uint8_t>& out);

// The level index 0..5 of an 8-bit component in the GIF palette.
constexpr unsigned GifLevelIndex(unsigned component) { return (component + 3) / 51; }

}  // namespace quorvel
