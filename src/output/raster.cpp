#include "output/raster.h"

#include <cstdlib>

namespace quorvel {

std::string RasterProblem(const RasterView& raster) {
  if (raster.width <= 0 || raster.height <= 0) return "The image is empty";
  if (raster.data == nullptr) return "The image has no pixels";
  const std::ptrdiff_t rowBytes =
      static_cast<std::ptrdiff_t>(raster.width) * BytesPerPixel(raster.format);
  if (std::llabs(static_cast<long long>(raster.stride)) < rowBytes) {
    return "The image rows are shorter than its width";
  }
  return {};
}

}  // namespace quorvel
