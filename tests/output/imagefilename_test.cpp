#include "output/imagefilename.h"

#include <gtest/gtest.h>

#include "output/imagetypes.h"
#include "output/printscale.h"

namespace quorvel {
namespace {

TEST(CaptureFileName, FolderLabelStampAndExtension) {
  struct Case {
    const char* folder;
    const char* label;
    ImageType type;
    const char* expected;
  };
  const Case cases[] = {
      {"/tmp/graphs", "Ping - milliseconds", ImageType::Jpeg,
       "/tmp/graphs/Ping - milliseconds-2024Mar05-1437.jpg"},
      // A trailing separator is not doubled.
      {"/tmp/graphs/", "Ping - milliseconds", ImageType::Jpeg,
       "/tmp/graphs/Ping - milliseconds-2024Mar05-1437.jpg"},
      // An empty label leaves the stamp's hyphen first.
      {"/tmp/graphs", "", ImageType::Bmp, "/tmp/graphs/-2024Mar05-1437.bmp"},
      {"/", "a", ImageType::Gif, "/a-2024Mar05-1437.gif"},
      {"rel", "a", ImageType::Png, "rel/a-2024Mar05-1437.png"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CaptureFileName(c.folder, c.label, "-2024Mar05-1437", c.type), c.expected);
  }
}

TEST(SavePictureFilterIndex, EntryByType) {
  EXPECT_EQ(SavePictureFilterIndex(ImageType::Jpeg), 1);
  EXPECT_EQ(SavePictureFilterIndex(ImageType::Gif), 2);
  EXPECT_EQ(SavePictureFilterIndex(ImageType::Bmp), 3);
  EXPECT_EQ(SavePictureFilterIndex(ImageType::Png), 4);  // beyond the three entries
}

TEST(PrintScale, WholeDotsPerScreenPixel) {
  struct Case {
    int dpiX, dpiY, screen;
    PrintScaleFactors expected;
  };
  const Case cases[] = {
      {600, 600, 96, {6, 6}},     // 6.25 rounded down
      {600, 300, 96, {6, 3}},     // the proportions of the screen kept on paper
      {72, 72, 96, {0, 0}},       // coarser than the screen: nothing drawn
      {1200, 1200, 96, {12, 12}},
      {300, 300, 120, {2, 2}},
      {96, 96, 96, {1, 1}},
      {600, 600, 0, {6, 6}},      // no screen figure: 96
      {-600, 600, 96, {0, 6}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PrintScale(c.dpiX, c.dpiY, c.screen), c.expected)
        << c.dpiX << " x " << c.dpiY << " at " << c.screen;
  }
}

// The type buttons decide in the order JPEG, GIF, BMP; none of them is PNG.
TEST(ImageTypes, ButtonsGiveTheTypeAndItsExtension) {
  const struct {
    bool jpeg, gif, bmp;
    const char* extension;
  } cases[] = {{true, true, true, ".jpg"}, {false, true, true, ".gif"},
               {false, false, true, ".bmp"}, {false, false, false, ".png"}};
  for (const auto& c : cases) {
    EXPECT_EQ(ImageExtension(ImageTypeFromButtons(c.jpeg, c.gif, c.bmp)), c.extension);
  }
}

}  // namespace
}  // namespace quorvel
