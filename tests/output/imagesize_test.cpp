#include "output/imagesize.h"

#include <gtest/gtest.h>

namespace quorvel {
namespace {

TEST(PercentSize, ExtendedPrecisionDecidesWholeProducts) {
  struct Case {
    int percent;
    int side;
    int expected;
  };
  // 21 % of 300 and 26 % of 450 are whole in exact arithmetic (63, 117) but
  // fall just short in extended precision; 57 % of 100 lands on 57, where
  // double precision would give 56.
  const Case cases[] = {
      {20, 791, 158}, {20, 385, 77},  {200, 791, 1582}, {200, 385, 770}, {21, 300, 62},
      {26, 450, 116}, {57, 100, 57},  {100, 791, 791},  {100, 1, 1},     {20, 4, 0},
      {150, 7, 10},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PercentSize(c.percent, ImageSize{c.side, c.side}).width, c.expected)
        << c.percent << " % of " << c.side;
  }
  EXPECT_EQ(PercentSize(20, ImageSize{791, 385}), (ImageSize{158, 77}));
}

TEST(ImageSizeFor, SwitchAndModePickTheSize) {
  const ImageSize screen{791, 385};
  ImageSizeSettings s;
  s.mode = SizeMode::Percent;
  s.percent = 200;
  s.pixelWidth = 150;
  s.pixelHeight = 2000;
  EXPECT_EQ(ImageSizeFor(s, OutputTarget::CapturedImages, screen), (ImageSize{1582, 770}));
  s.mode = SizeMode::Pixels;
  for (OutputTarget t : {OutputTarget::CapturedImages, OutputTarget::WebImage,
                         OutputTarget::Clipboard, OutputTarget::Printer}) {
    EXPECT_EQ(ImageSizeFor(s, t, screen), (ImageSize{150, 2000}));
  }
  // Each switch governs only its own target.
  s.capturedImages = false;
  s.printer = false;
  EXPECT_EQ(ImageSizeFor(s, OutputTarget::CapturedImages, screen), screen);
  EXPECT_EQ(ImageSizeFor(s, OutputTarget::WebImage, screen), (ImageSize{150, 2000}));
  EXPECT_EQ(ImageSizeFor(s, OutputTarget::Clipboard, screen), (ImageSize{150, 2000}));
  EXPECT_EQ(ImageSizeFor(s, OutputTarget::Printer, screen), screen);
}

TEST(SizeLabels, Texts) {
  EXPECT_EQ(PercentSizeLabel(20, ImageSize{791, 385}), "(158 x 77)");
  EXPECT_EQ(PercentSizeLabel(21, ImageSize{300, 450}), "(62 x 94)");
  EXPECT_EQ(ScreenSizeLabel(ImageSize{791, 385}),
            "Items not checked will use screen graph size (791 x 385)");
}

TEST(ImageExtension, PerType) {
  EXPECT_EQ(ImageExtension(ImageType::Bmp), ".bmp");
  EXPECT_EQ(ImageExtension(ImageType::Jpeg), ".jpg");
  EXPECT_EQ(ImageExtension(ImageType::Gif), ".gif");
  EXPECT_EQ(ImageExtension(ImageType::Png), ".png");
}

}  // namespace
}  // namespace quorvel
