#include "output/imagesize.h"

#include <cmath>
#include <limits>

#include "base/extended.h"

namespace quorvel {

namespace {

int PercentOf(int percent, int side) {
  // Each step is stored, so that the rounding to extended precision happens
  // after the division and again after the multiplication.
  const long double factor = static_cast<long double>(percent) / 100.0L;
  const long double product = factor * static_cast<long double>(side);
  const long double whole = std::trunc(product);
  if (whole >= static_cast<long double>(std::numeric_limits<int>::max())) {
    return std::numeric_limits<int>::max();
  }
  if (whole <= static_cast<long double>(std::numeric_limits<int>::min())) {
    return std::numeric_limits<int>::min();
  }
  return static_cast<int>(whole);
}

std::string SizeInBrackets(ImageSize size) {
  return "(" + std::to_string(size.width) + " x " + std::to_string(size.height) + ")";
}

}  // namespace

bool ImageSizeSettings::AppliesTo(OutputTarget target) const {
  switch (target) {
    case OutputTarget::CapturedImages: return capturedImages;
    case OutputTarget::WebImage: return webImage;
    case OutputTarget::Clipboard: return clipboard;
    case OutputTarget::Printer: return printer;
  }
  return false;
}

ImageSize PercentSize(int percent, ImageSize onScreen) {
  return ImageSize{PercentOf(percent, onScreen.width), PercentOf(percent, onScreen.height)};
}

ImageSize ImageSizeFor(const ImageSizeSettings& settings, OutputTarget target, ImageSize onScreen) {
  if (!settings.AppliesTo(target)) return onScreen;
  if (settings.mode == SizeMode::Pixels) return ImageSize{settings.pixelWidth, settings.pixelHeight};
  return PercentSize(settings.percent, onScreen);
}

std::string PercentSizeLabel(int percent, ImageSize onScreen) {
  return SizeInBrackets(PercentSize(percent, onScreen));
}

std::string ScreenSizeLabel(ImageSize onScreen) {
  return "Items not checked will use screen graph size " + SizeInBrackets(onScreen);
}

}  // namespace quorvel
