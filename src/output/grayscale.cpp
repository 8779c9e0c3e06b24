#include "output/grayscale.h"

#include <array>
#include <cmath>
#include <limits>

#include "base/extended.h"
#include "output/pixels.h"

namespace quorvel {

namespace {

// The weights as extended-precision constants; kept in variables so that
// every product is formed at run time, as the original arithmetic was.
constexpr long double kRedWeight = 0.3L;
constexpr long double kGreenWeight = 0.6L;
constexpr long double kBlueWeight = 0.1L;

constexpr std::uint16_t kTie = 0x100;
constexpr int kMaxSum = 3 * 255 + 6 * 255 + 255;

// The exact value is S / 10 with S = 3R + 6G + B. Unless S ends in 5, it lies
// at least 0.1 from a half, far beyond the few 2^-60 by which the float
// evaluation can stray, so the level is S / 10 rounded. At the halves the
// stray decides the direction; those sums are marked and evaluated in full.
constexpr std::array<std::uint16_t, kMaxSum + 1> MakeSumTable() {
  std::array<std::uint16_t, kMaxSum + 1> table{};
  for (int s = 0; s <= kMaxSum; ++s) {
    table[static_cast<std::size_t>(s)] =
        s % 10 == 5 ? kTie : static_cast<std::uint16_t>((s + 5) / 10);
  }
  return table;
}

constexpr auto kSumTable = MakeSumTable();

template <PixelFormat F>
void ConvertRows(const MutableRasterView& raster) {
  for (int y = 0; y < raster.height; ++y) {
    std::uint8_t* row = raster.Row(y);
    for (int x = 0; x < raster.width; ++x) {
      const pixels::Rgb p = pixels::Read<F>(row, x);
      std::uint32_t level = kSumTable[3 * p.r + 6 * p.g + p.b];
      if (level == kTie) level = GrayLevel(p.r, p.g, p.b);
      pixels::WriteGray<F>(row, x, level);
    }
  }
}

}  // namespace

std::uint8_t GrayLevel(unsigned red, unsigned green, unsigned blue) {
  const long double sum = kRedWeight * static_cast<long double>(red) +
                          kGreenWeight * static_cast<long double>(green) +
                          kBlueWeight * static_cast<long double>(blue);
  // Round half to even without depending on the floating-point environment;
  // sum - floor(sum) is exact at these magnitudes.
  const long double whole = std::floor(sum);
  const long double fraction = sum - whole;
  auto level = static_cast<unsigned>(whole);
  if (fraction > 0.5L || (fraction == 0.5L && (level & 1u) != 0)) ++level;
  return static_cast<std::uint8_t>(level);
}

MutableRasterView ConvertBitmapToGrayscale1(MutableRasterView raster) {
  if (!RasterProblem(raster).empty()) return raster;
  // Pixels are independent, so rows are walked in memory order.
  if (raster.format == PixelFormat::Xrgb32) {
    ConvertRows<PixelFormat::Xrgb32>(raster);
  } else {
    ConvertRows<PixelFormat::Rgb24>(raster);
  }
  return raster;
}

}  // namespace quorvel
