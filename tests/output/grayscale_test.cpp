#include "output/grayscale.h"

#include <cmath>
#include <algorithm>
#include <cfenv>
#include <iterator>

#include <gtest/gtest.h>

#include "testraster.h"

namespace quorvel {
namespace {

using test::Rgb;

// The rule written out once more, independently of the code under test:
// extended-precision products and sums, rounded to nearest, halves to even
// (the default rounding mode, which nearbyint uses).
unsigned ReferenceGray(unsigned r, unsigned g, unsigned b) {
  volatile long double red = r, green = g, blue = b;
  const long double sum = 0.3L * red + 0.6L * green + 0.1L * blue;
  return static_cast<unsigned>(std::nearbyint(sum));
}

TEST(GrayLevel, KnownValues) {
  struct Case {
    unsigned r, g, b, gray;
  };
  const Case cases[] = {
      {255, 0, 0, 76},   {0, 0, 255, 26}, {255, 255, 0, 230}, {5, 0, 0, 2},
      {0, 0, 5, 0},      {255, 255, 255, 255}, {0, 0, 128, 13}, {0, 0, 0, 0},
      {128, 128, 128, 128},
      // Halves where the float evaluation lands just above .5.
      {0, 1, 99, 11},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(GrayLevel(c.r, c.g, c.b), c.gray) << c.r << "," << c.g << "," << c.b;
    EXPECT_EQ(ReferenceGray(c.r, c.g, c.b), c.gray) << c.r << "," << c.g << "," << c.b;
  }
}

// Every one of the 2^24 colours, through the whole conversion, against the
// formula. One 256 x 256 raster per red value.
TEST(ConvertBitmapToGrayscale1, AllColoursMatchTheFormula) {
  ASSERT_EQ(std::fegetround(), FE_TONEAREST);
  test::TestRaster raster(256, 256);
  long mismatches = 0;
  for (unsigned r = 0; r < 256; ++r) {
    for (unsigned g = 0; g < 256; ++g) {
      for (unsigned b = 0; b < 256; ++b) raster.At(static_cast<int>(b), static_cast<int>(g)) = Rgb(r, g, b);
    }
    ConvertBitmapToGrayscale1(raster.MutableView());
    for (unsigned g = 0; g < 256; ++g) {
      for (unsigned b = 0; b < 256; ++b) {
        const unsigned expected = ReferenceGray(r, g, b);
        if (raster.At(static_cast<int>(b), static_cast<int>(g)) != Rgb(expected, expected, expected)) {
          if (++mismatches < 10) ADD_FAILURE() << r << "," << g << "," << b;
        }
      }
    }
  }
  EXPECT_EQ(mismatches, 0);
}

TEST(ConvertBitmapToGrayscale1, KeepsPaddingAndTheFourthByte) {
  test::TestRaster raster(3, 2, 2);
  raster.At(0, 0) = 0x12FF0000u;  // red with a non-0xFF fourth byte
  raster.At(1, 0) = Rgb(0, 0, 255);
  raster.At(2, 0) = Rgb(255, 255, 0);
  raster.At(0, 1) = Rgb(0, 0, 128);
  raster.At(1, 1) = Rgb(5, 0, 0);
  raster.At(2, 1) = Rgb(255, 255, 255);
  const MutableRasterView same = ConvertBitmapToGrayscale1(raster.MutableView());
  EXPECT_EQ(same.data, raster.MutableView().data);
  EXPECT_EQ(raster.At(0, 0), 0x124C4C4Cu);
  EXPECT_EQ(raster.At(1, 0), Rgb(26, 26, 26));
  EXPECT_EQ(raster.At(2, 0), Rgb(230, 230, 230));
  EXPECT_EQ(raster.At(0, 1), Rgb(13, 13, 13));
  EXPECT_EQ(raster.At(1, 1), Rgb(2, 2, 2));
  EXPECT_EQ(raster.At(2, 1), Rgb(255, 255, 255));
  // The spare words after each row are not pixels and stay untouched.
  EXPECT_EQ(raster.At(3, 0), 0xDEADBEEFu);
  EXPECT_EQ(raster.At(4, 1), 0xDEADBEEFu);
}

TEST(ConvertBitmapToGrayscale1, Rgb24Rows) {
  std::uint8_t bytes[] = {255, 0, 0, 0, 0, 255, 9, 9};  // two pixels, two spare bytes
  MutableRasterView view{bytes, 2, 1, 8, PixelFormat::Rgb24};
  ConvertBitmapToGrayscale1(view);
  const std::uint8_t expected[] = {76, 76, 76, 26, 26, 26, 9, 9};
  EXPECT_TRUE(std::equal(std::begin(bytes), std::end(bytes), std::begin(expected)));
}

}  // namespace
}  // namespace quorvel
