#include "output/imageencoders.h"

#include <cstddef>

#include "output/pixels.h"

namespace quorvel {

namespace {

constexpr std::uint32_t kFileHeaderSize = 14;
constexpr std::uint32_t kInfoHeaderSize = 40;
// 96 dots per inch, the usual screen resolution.
constexpr std::uint32_t kPixelsPerMetre = 3780;

void Put16(std::uint8_t*& p, std::uint32_t v) {
  *p++ = static_cast<std::uint8_t>(v);
  *p++ = static_cast<std::uint8_t>(v >> 8);
}

void Put32(std::uint8_t*& p, std::uint32_t v) {
  Put16(p, v & 0xFFFFu);
  Put16(p, v >> 16);
}

template <PixelFormat F>
void PutRows(const RasterView& raster, std::uint8_t* p, std::size_t paddedRow) {
  for (int y = raster.height - 1; y >= 0; --y) {
    const std::uint8_t* row = raster.Row(y);
    std::uint8_t* q = p;
    for (int x = 0; x < raster.width; ++x) {
      const pixels::Rgb c = pixels::Read<F>(row, x);
      q[0] = static_cast<std::uint8_t>(c.b);
      q[1] = static_cast<std::uint8_t>(c.g);
      q[2] = static_cast<std::uint8_t>(c.r);
      q += 3;
    }
    // The padding bytes are already zero.
    p += paddedRow;
  }
}

}  // namespace

Status EncodeBmp(const RasterView& raster, std::vector<std::uint8_t>& out) {
  out.clear();
  if (std::string problem = RasterProblem(raster); !problem.empty()) {
    return Status::Error(std::move(problem));
  }
  const std::uint64_t paddedRow = (static_cast<std::uint64_t>(raster.width) * 3 + 3) & ~std::uint64_t{3};
  const std::uint64_t pixelBytes = paddedRow * static_cast<std::uint64_t>(raster.height);
  const std::uint64_t fileSize = kFileHeaderSize + kInfoHeaderSize + pixelBytes;
  if (fileSize > 0xFFFFFFFFu) return Status::Error("The image is too large for a bitmap file");

  out.assign(static_cast<std::size_t>(fileSize), 0);
  std::uint8_t* p = out.data();
  *p++ = 'B';
  *p++ = 'M';
  Put32(p, static_cast<std::uint32_t>(fileSize));
  Put32(p, 0);  // two reserved words
  Put32(p, kFileHeaderSize + kInfoHeaderSize);
  Put32(p, kInfoHeaderSize);
  Put32(p, static_cast<std::uint32_t>(raster.width));
  Put32(p, static_cast<std::uint32_t>(raster.height));  // positive: bottom-up
  Put16(p, 1);   // planes
  Put16(p, 24);  // bits per pixel
  Put32(p, 0);   // BI_RGB, uncompressed
  Put32(p, static_cast<std::uint32_t>(pixelBytes));
  Put32(p, kPixelsPerMetre);
  Put32(p, kPixelsPerMetre);
  Put32(p, 0);  // colours used
  Put32(p, 0);  // important colours
  if (raster.format == PixelFormat::Xrgb32) {
    PutRows<PixelFormat::Xrgb32>(raster, p, static_cast<std::size_t>(paddedRow));
  } else {
    PutRows<PixelFormat::Rgb24>(raster, p, static_cast<std::size_t>(paddedRow));
  }
  return Status::Ok();
}

}  // namespace quorvel
