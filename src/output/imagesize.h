#pragma once

#include <string>

#include "output/imagetypes.h"

namespace quorvel {

struct ImageSize {
  int width = 0;
  int height = 0;

  friend bool operator==(const ImageSize&, const ImageSize&) = default;
};

enum class SizeMode { Percent, Pixels };

// The image-size settings as the "Image Capture" page holds them, read when
// an image is made.
struct ImageSizeSettings {
  SizeMode mode = SizeMode::Percent;
  int percent = 100;      // spPercent, 20..200
  int pixelWidth = 0;     // spGrWidth, 150..2000
  int pixelHeight = 0;    // spGrHeight, 150..2000
  // The "Applies to..." switches.
  bool capturedImages = true;
  bool webImage = true;
  bool clipboard = true;
  bool printer = true;

  bool AppliesTo(OutputTarget target) const;
};

// The percent size of an on-screen size: each side is
// trunc(percent / 100 x side), where the quotient and then the product are
// each rounded to extended precision (64-bit significand) and the result is
// truncated toward zero. That rounding decides the sides where the exact
// product is whole: 21 % of 300 is 62, 57 % of 100 is 57.
ImageSize PercentSize(int percent, ImageSize onScreen);

// The size of the raster drawn for `target`: the on-screen size when the
// target's switch is off, else the percent size or the fixed pixel size.
ImageSize ImageSizeFor(const ImageSizeSettings& settings, OutputTarget target, ImageSize onScreen);

// "(" + w + " x " + h + ")" of the percent size (the text of Label3).
std::string PercentSizeLabel(int percent, ImageSize onScreen);

// "Items not checked will use screen graph size (" + W + " x " + H + ")"
// (the text of Label22).
std::string ScreenSizeLabel(ImageSize onScreen);

}  // namespace quorvel
