#include "output/imagetypes.h"

namespace quorvel {

ImageType ImageTypeFromButtons(bool jpegChecked, bool gifChecked, bool bmpChecked) {
  if (jpegChecked) return ImageType::Jpeg;
  if (gifChecked) return ImageType::Gif;
  if (bmpChecked) return ImageType::Bmp;
  return ImageType::Png;
}

std::string_view ImageExtension(ImageType type) {
  switch (type) {
    case ImageType::Bmp: return ".bmp";
    case ImageType::Jpeg: return ".jpg";
    case ImageType::Gif: return ".gif";
    case ImageType::Png: return ".png";
  }
  return ".png";
}

}  // namespace quorvel
