#pragma once

// Rasters made for the tests, and the independent decoder (Qt's image
// readers) that the encoders' output is checked with.

#include <cstdint>
#include <span>
#include <vector>

#include <QImage>

#include "output/raster.h"

namespace quorvel::test {

inline constexpr std::uint32_t Rgb(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
  return 0xFF000000u | (r << 16) | (g << 8) | b;
}
inline constexpr std::uint32_t RedOf(std::uint32_t w) { return (w >> 16) & 0xFFu; }
inline constexpr std::uint32_t GreenOf(std::uint32_t w) { return (w >> 8) & 0xFFu; }
inline constexpr std::uint32_t BlueOf(std::uint32_t w) { return w & 0xFFu; }

// An Xrgb32 raster owned by the test, with `padWords` spare words per row.
struct TestRaster {
  int width = 0;
  int height = 0;
  int padWords = 0;
  std::vector<std::uint32_t> words;

  TestRaster(int w, int h, int pad = 0);
  std::uint32_t& At(int x, int y) { return words[static_cast<std::size_t>(y * (width + padWords) + x)]; }
  std::uint32_t At(int x, int y) const { return words[static_cast<std::size_t>(y * (width + padWords) + x)]; }
  RasterView View() const;
  MutableRasterView MutableView();
};

// A colourful pattern with gradients, edges and noise.
TestRaster PatternRaster(int w, int h, std::uint32_t seed = 1);
// Every pixel an independent random colour (worst case for compression).
TestRaster NoiseRaster(int w, int h, std::uint32_t seed = 7);
// A graph-like raster: white plot, gray border, dotted grid, a blue line.
TestRaster ChartLikeRaster(int w, int h);

// Decodes with Qt's reader for `format` ("BMP", "PNG", "GIF", "JPEG") into
// Format_RGB32; a null image when decoding fails.
QImage Decode(std::span<const std::uint8_t> bytes, const char* format);

// The pixel of a decoded image as 0xFFRRGGBB.
std::uint32_t PixelOf(const QImage& image, int x, int y);

}  // namespace quorvel::test
