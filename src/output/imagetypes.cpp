#include "output/imagetypes.h"

namespace quorvel {

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
