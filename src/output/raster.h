#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace quorvel {

// How the pixels of a raster are laid out in memory.
enum class PixelFormat {
  // One 32-bit word per pixel, 0xXXRRGGBB in the machine's byte order (bytes
  // B, G, R, X on little-endian machines): the renderer's true-colour raster
  // (QImage::Format_RGB32). The X byte is ignored when reading.
  Xrgb32,
  // Three bytes per pixel in the order R, G, B (QImage::Format_RGB888).
  Rgb24,
};

constexpr int BytesPerPixel(PixelFormat format) { return format == PixelFormat::Xrgb32 ? 4 : 3; }

// A read-only view of pixels that someone else owns; the owner keeps them
// alive and unchanged while the view is used. Rows are `stride` bytes apart
// (any stride whose size is at least one row; a negative stride walks a
// bottom-up buffer), row 0 is the top row. No alignment is required.
struct RasterView {
  const std::uint8_t* data = nullptr;
  int width = 0;
  int height = 0;
  std::ptrdiff_t stride = 0;
  PixelFormat format = PixelFormat::Xrgb32;

  const std::uint8_t* Row(int y) const { return data + static_cast<std::ptrdiff_t>(y) * stride; }
};

// The same for pixels that may be changed in place (gray conversion).
struct MutableRasterView {
  std::uint8_t* data = nullptr;
  int width = 0;
  int height = 0;
  std::ptrdiff_t stride = 0;
  PixelFormat format = PixelFormat::Xrgb32;

  std::uint8_t* Row(int y) const { return data + static_cast<std::ptrdiff_t>(y) * stride; }
  operator RasterView() const { return RasterView{data, width, height, stride, format}; }
};

// Empty when the view describes a usable image (pixels present, width and
// height at least 1, rows no shorter than the width); otherwise why not.
std::string RasterProblem(const RasterView& raster);

}  // namespace quorvel
