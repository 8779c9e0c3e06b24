#include "output/writegraphimage.h"

#include <string_view>

#include "base/fileio.h"
#include "output/imageencoders.h"

namespace quorvel {

Status EncodeImage(const RasterView& raster, ImageType type, int jpegQuality,
                        std::vector<std::uint8_t>& out) {
  switch (type) {
    case ImageType::Bmp: return EncodeBmp(raster, out);
    case ImageType::Jpeg: return EncodeJpeg(raster, jpegQuality, out);
    case ImageType::Gif: return EncodeGif(raster, out);
    case ImageType::Png: return EncodePng(raster, out);
  }
  return Status::Error("Unknown image type");
}

Status WriteGraphImage(const RasterView& raster, ImageType type,
                            const ImageDestination& destination, int jpegQuality) {
  if (!destination.IsFile()) return EncodeImage(raster, type, jpegQuality, *destination.buffer());
  std::vector<std::uint8_t> bytes;
  if (Status encoded = EncodeImage(raster, type, jpegQuality, bytes); !encoded) return encoded;
  // An image file is replaced whole, a link at its place included.
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (const std::error_code error = ReplaceFileWhole(destination.path(), text)) {
    return Status::Error("Cannot create file \"" + destination.path() + "\". " +
                                error.message());
  }
  return Status::Ok();
}

}  // namespace quorvel
