#include "output/imagefilename.h"

namespace quorvel {

std::string CaptureFileName(std::string_view folder, std::string_view label,
                            std::string_view stamp, ImageType type) {
  std::string name(folder);
  if (name.empty() || name.back() != '/') name += '/';
  name += label;
  name += stamp;
  name += ImageExtension(type);
  return name;
}

int SavePictureFilterIndex(ImageType type) {
  switch (type) {
    case ImageType::Jpeg: return 1;
    case ImageType::Gif: return 2;
    case ImageType::Bmp: return 3;
    case ImageType::Png: return 4;
  }
  return 1;
}

}  // namespace quorvel
