#include "output/imageencoders.h"

#include <bit>
#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE declared first
#include <new>
#include <stdexcept>

#include <jpeglib.h>
#include <jerror.h>

namespace quorvel {

namespace {

// libjpeg reports a fatal error by calling error_exit, which by default ends
// the process. Ours jumps back into EncodeWithLibjpeg instead, with the
// library's own message kept here.
struct ErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void ErrorExit(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, err->message);
  std::longjmp(err->jump, 1);
}

// Warnings would go to stderr; an encoder has no one to tell them to.
void IgnoreMessage(j_common_ptr) {}

// Compressed data goes straight into the caller's vector, which grows by
// doubling. A failed allocation becomes a libjpeg error, so that it takes the
// same way back as every other failure.
struct VectorDestination {
  jpeg_destination_mgr pub;
  std::vector<std::uint8_t>* out;
  std::size_t initialSize;
};

bool Grow(std::vector<std::uint8_t>& out, std::size_t size) {
  try {
    out.resize(size);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  } catch (const std::length_error&) {
    return false;
  }
}

void InitDestination(j_compress_ptr cinfo) {
  auto* dest = reinterpret_cast<VectorDestination*>(cinfo->dest);
  if (!Grow(*dest->out, dest->initialSize)) ERREXIT(cinfo, JERR_OUT_OF_MEMORY);
  dest->pub.next_output_byte = dest->out->data();
  dest->pub.free_in_buffer = dest->out->size();
}

boolean EmptyOutputBuffer(j_compress_ptr cinfo) {
  auto* dest = reinterpret_cast<VectorDestination*>(cinfo->dest);
  const std::size_t used = dest->out->size();
  if (!Grow(*dest->out, used * 2)) ERREXIT(cinfo, JERR_OUT_OF_MEMORY);
  dest->pub.next_output_byte = dest->out->data() + used;
  dest->pub.free_in_buffer = dest->out->size() - used;
  return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
  auto* dest = reinterpret_cast<VectorDestination*>(cinfo->dest);
  dest->out->resize(dest->out->size() - dest->pub.free_in_buffer);
}

J_COLOR_SPACE InputColourSpace(PixelFormat format) {
  if (format == PixelFormat::Rgb24) return JCS_RGB;
  // 0xXXRRGGBB words: B, G, R, X in memory on little-endian machines.
  return std::endian::native == std::endian::little ? JCS_EXT_BGRX : JCS_EXT_XRGB;
}

// Only plain C objects live in this function, so the jump back from an error
// skips no destructor. Returns false with err.message filled on failure.
bool EncodeWithLibjpeg(const RasterView& raster, int quality, VectorDestination& dest,
                       ErrorManager& err) {
  jpeg_compress_struct cinfo;
  cinfo.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = ErrorExit;
  err.pub.output_message = IgnoreMessage;
  if (setjmp(err.jump) != 0) {
    jpeg_destroy_compress(&cinfo);
    return false;
  }
  jpeg_create_compress(&cinfo);
  dest.pub.init_destination = InitDestination;
  dest.pub.empty_output_buffer = EmptyOutputBuffer;
  dest.pub.term_destination = TermDestination;
  cinfo.dest = &dest.pub;

  cinfo.image_width = static_cast<JDIMENSION>(raster.width);
  cinfo.image_height = static_cast<JDIMENSION>(raster.height);
  cinfo.input_components = BytesPerPixel(raster.format);
  cinfo.in_color_space = InputColourSpace(raster.format);
  // YCbCr with three components, JFIF marker, baseline Huffman coding.
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    // libjpeg reads the rows and never writes them.
    JSAMPROW row = const_cast<JSAMPROW>(raster.Row(static_cast<int>(cinfo.next_scanline)));
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return true;
}

}  // namespace

Status EncodeJpeg(const RasterView& raster, int quality, std::vector<std::uint8_t>& out) {
  out.clear();
  if (std::string problem = RasterProblem(raster); !problem.empty()) {
    return Status::Error(std::move(problem));
  }
  VectorDestination dest{};
  dest.out = &out;
  dest.initialSize = 16384 + static_cast<std::size_t>(raster.width) * static_cast<std::size_t>(raster.height) / 4;
  ErrorManager err{};
  if (!EncodeWithLibjpeg(raster, quality, dest, err)) {
    out.clear();
    return Status::Error(std::string("JPEG error: ") + err.message);
  }
  return Status::Ok();
}

}  // namespace quorvel
