#include "testraster.h"

#include <random>

namespace quorvel::test {

TestRaster::TestRaster(int w, int h, int pad)
    : width(w), height(h), padWords(pad),
      words(static_cast<std::size_t>((w + pad) * h), 0xDEADBEEFu) {}

RasterView TestRaster::View() const {
  return RasterView{reinterpret_cast<const std::uint8_t*>(words.data()), width, height,
                    static_cast<std::ptrdiff_t>(width + padWords) * 4, PixelFormat::Xrgb32};
}

MutableRasterView TestRaster::MutableView() {
  return MutableRasterView{reinterpret_cast<std::uint8_t*>(words.data()), width, height,
                           static_cast<std::ptrdiff_t>(width + padWords) * 4, PixelFormat::Xrgb32};
}

TestRaster PatternRaster(int w, int h, std::uint32_t seed) {
  TestRaster r(w, h, 3);
  std::mt19937 rng(seed);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const auto red = static_cast<std::uint32_t>(x * 255 / std::max(1, w - 1));
      const auto green = static_cast<std::uint32_t>(y * 255 / std::max(1, h - 1));
      const std::uint32_t blue = ((x / 7 + y / 5) % 2 != 0) ? 230u : static_cast<std::uint32_t>(rng() & 0x3Fu);
      r.At(x, y) = Rgb(red, green, blue);
    }
  }
  return r;
}

TestRaster NoiseRaster(int w, int h, std::uint32_t seed) {
  TestRaster r(w, h);
  std::mt19937 rng(seed);
  for (auto& word : r.words) word = static_cast<std::uint32_t>(rng()) | 0xFF000000u;
  return r;
}

TestRaster ChartLikeRaster(int w, int h) {
  TestRaster r(w, h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const bool border = x < w / 10 || y < h / 10 || x >= w - 5 || y >= h - 20;
      std::uint32_t c = border ? Rgb(240, 240, 240) : Rgb(255, 255, 255);
      if (!border && (x % 40 == 0 || y % 30 == 0) && (x + y) % 3 == 0) c = Rgb(128, 128, 128);
      r.At(x, y) = c;
    }
  }
  for (int x = w / 10; x < w - 5; ++x) {
    const int y = h / 2 + static_cast<int>((x * 7919) % 37) - 18;
    if (y >= 0 && y < h) r.At(x, y) = Rgb(0, 0, 255);
  }
  return r;
}

QImage Decode(std::span<const std::uint8_t> bytes, const char* format) {
  QImage image;
  if (!image.loadFromData(bytes.data(), static_cast<int>(bytes.size()), format)) return QImage();
  return image.convertToFormat(QImage::Format_RGB32);
}

std::uint32_t PixelOf(const QImage& image, int x, int y) { return image.pixel(x, y) | 0xFF000000u; }

}  // namespace quorvel::test
