#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "base/status.h"
#include "output/imagetypes.h"
#include "output/raster.h"

namespace quorvel {

// Where WriteGraphImage puts the encoded image: a file, created or replaced
// whole, or a memory buffer owned by the caller (its content is replaced; it
// must outlive the call).
class ImageDestination {
 public:
  static ImageDestination File(std::string path) { return ImageDestination(std::move(path), nullptr); }
  static ImageDestination Memory(std::vector<std::uint8_t>& buffer) { return ImageDestination({}, &buffer); }

  bool IsFile() const { return buffer_ == nullptr; }
  const std::string& path() const { return path_; }
  std::vector<std::uint8_t>* buffer() const { return buffer_; }

 private:
  ImageDestination(std::string path, std::vector<std::uint8_t>* buffer)
      : path_(std::move(path)), buffer_(buffer) {}

  std::string path_;
  std::vector<std::uint8_t>* buffer_;
};

// Encodes `raster` as `type` into `destination`; `jpegQuality` (1..100)
// matters for JPEG only: 90 for image files, 100 for the web image. A failure
// to encode or to write returns the text for the user's message box and
// leaves no partial file behind. The raster is only read; any thread.
Status WriteGraphImage(const RasterView& raster, ImageType type,
                            const ImageDestination& destination, int jpegQuality);

// The encoder of `type` alone, into `out`.
Status EncodeImage(const RasterView& raster, ImageType type, int jpegQuality,
                        std::vector<std::uint8_t>& out);

}  // namespace quorvel
