#pragma once

#include "output/imagesize.h"
#include "output/imagetypes.h"

namespace quorvel {

// The "Image Capture" page as plain values: the size rule, the image type
// and the gray switch, read whenever an image is made. Radio groups are
// kept one flag per button, as the settings file stores them.
struct ImageSettings {
  bool percentMode = true;   // rbPercent
  bool pixelsMode = false;   // rbPixels
  int percent = 100;         // spPercent
  int pixelWidth = 0;        // spGrWidth
  int pixelHeight = 0;       // spGrHeight
  bool capturedImages = true;  // cbCaptured
  bool webImage = true;        // cbHTTP
  bool clipboard = true;       // cbClip
  bool printer = true;         // cbPrint
  bool jpg = true;
  bool gif = false;
  bool bmp = false;
  bool png = false;
  bool gray = false;           // cbGray

  // Pixels only while it alone is chosen.
  ImageSizeSettings SizeRule() const {
    ImageSizeSettings rule;
    rule.mode = pixelsMode && !percentMode ? SizeMode::Pixels : SizeMode::Percent;
    rule.percent = percent;
    rule.pixelWidth = pixelWidth;
    rule.pixelHeight = pixelHeight;
    rule.capturedImages = capturedImages;
    rule.webImage = webImage;
    rule.clipboard = clipboard;
    rule.printer = printer;
    return rule;
  }
  ImageType Type() const { return ImageTypeFromButtons(jpg, gif, bmp); }

  friend bool operator==(const ImageSettings&, const ImageSettings&) = default;
};

}  // namespace quorvel
