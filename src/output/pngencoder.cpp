#include "output/imageencoders.h"

#include <algorithm>
#include <memory>

#include <zlib.h>

#include "output/pixels.h"

namespace quorvel {

namespace {

constexpr int kCompressionLevel = 7;
constexpr std::size_t kMaxChunkData = 65535;
constexpr std::uint8_t kSubFilter = 1;
// Filtered rows are handed to deflate in batches of about this many bytes.
constexpr std::size_t kBatchBytes = 64 * 1024;

void Put32(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 24);
  p[1] = static_cast<std::uint8_t>(v >> 16);
  p[2] = static_cast<std::uint8_t>(v >> 8);
  p[3] = static_cast<std::uint8_t>(v);
}

// Appends the length and type of a chunk; the data follows, then CloseChunk.
std::size_t OpenChunk(std::vector<std::uint8_t>& out, const char* type) {
  const std::size_t start = out.size();
  out.resize(start + 8);
  std::copy(type, type + 4, out.begin() + static_cast<std::ptrdiff_t>(start + 4));
  return start;
}

// Ends the chunk begun at `start` with `dataLength` bytes of data after its
// header: fills in the length and appends the CRC of type and data.
void CloseChunk(std::vector<std::uint8_t>& out, std::size_t start, std::size_t dataLength) {
  out.resize(start + 8 + dataLength);
  Put32(out.data() + start, static_cast<std::uint32_t>(dataLength));
  const uLong crc = crc32(0L, out.data() + start + 4, static_cast<uInt>(4 + dataLength));
  out.resize(out.size() + 4);
  Put32(out.data() + out.size() - 4, static_cast<std::uint32_t>(crc));
}

template <PixelFormat F>
void SubFilterRow(const std::uint8_t* row, int width, std::uint8_t* out) {
  *out++ = kSubFilter;
  std::uint32_t r0 = 0, g0 = 0, b0 = 0;
  for (int x = 0; x < width; ++x) {
    const pixels::Rgb c = pixels::Read<F>(row, x);
    out[0] = static_cast<std::uint8_t>(c.r - r0);
    out[1] = static_cast<std::uint8_t>(c.g - g0);
    out[2] = static_cast<std::uint8_t>(c.b - b0);
    out += 3;
    r0 = c.r;
    g0 = c.g;
    b0 = c.b;
  }
}

// The IDAT stream: deflate writes straight into the data area of the open
// chunk, which is closed when it holds 65,535 bytes.
class IdatWriter {
 public:
  explicit IdatWriter(std::vector<std::uint8_t>& out) : out_(out) {}
  ~IdatWriter() {
    if (open_) deflateEnd(&zs_);
  }
  IdatWriter(const IdatWriter&) = delete;
  IdatWriter& operator=(const IdatWriter&) = delete;

  bool Init() {
    zs_.zalloc = Z_NULL;
    zs_.zfree = Z_NULL;
    zs_.opaque = Z_NULL;
    if (deflateInit(&zs_, kCompressionLevel) != Z_OK) return false;
    open_ = true;
    StartChunk();
    return true;
  }

  // Compresses `size` bytes; with `last`, also ends the stream and the chunks.
  bool Write(std::uint8_t* data, std::size_t size, bool last) {
    zs_.next_in = data;
    zs_.avail_in = static_cast<uInt>(size);
    const int flush = last ? Z_FINISH : Z_NO_FLUSH;
    for (;;) {
      const int rc = deflate(&zs_, flush);
      if (rc == Z_STREAM_END) {
        const std::size_t used = kMaxChunkData - zs_.avail_out;
        if (used > 0) {
          CloseChunk(out_, chunkStart_, used);
        } else {
          out_.resize(chunkStart_);
        }
        return true;
      }
      if (rc != Z_OK && rc != Z_BUF_ERROR) return false;
      if (zs_.avail_out == 0) {
        CloseChunk(out_, chunkStart_, kMaxChunkData);
        StartChunk();
      } else if (zs_.avail_in == 0 && !last) {
        return true;
      }
    }
  }

 private:
  void StartChunk() {
    chunkStart_ = OpenChunk(out_, "IDAT");
    out_.resize(chunkStart_ + 8 + kMaxChunkData);
    zs_.next_out = out_.data() + chunkStart_ + 8;
    zs_.avail_out = static_cast<uInt>(kMaxChunkData);
  }

  std::vector<std::uint8_t>& out_;
  z_stream zs_{};
  bool open_ = false;
  std::size_t chunkStart_ = 0;
};

template <PixelFormat F>
bool WriteRows(const RasterView& raster, IdatWriter& idat) {
  const std::size_t rowBytes = 1 + 3 * static_cast<std::size_t>(raster.width);
  const std::size_t rowsPerBatch = std::max<std::size_t>(1, kBatchBytes / rowBytes);
  const auto batch = std::make_unique_for_overwrite<std::uint8_t[]>(rowsPerBatch * rowBytes);
  int y = 0;
  while (y < raster.height) {
    std::size_t filled = 0;
    for (std::size_t n = 0; n < rowsPerBatch && y < raster.height; ++n, ++y) {
      SubFilterRow<F>(raster.Row(y), raster.width, batch.get() + filled);
      filled += rowBytes;
    }
    if (!idat.Write(batch.get(), filled, y == raster.height)) return false;
  }
  return true;
}

}  // namespace

Status EncodePng(const RasterView& raster, std::vector<std::uint8_t>& out) {
  out.clear();
  if (std::string problem = RasterProblem(raster); !problem.empty()) {
    return Status::Error(std::move(problem));
  }
  // The whole filtered row has to fit one deflate call's 32-bit count.
  if (static_cast<std::uint64_t>(raster.width) * 3 + 1 > 0x7FFFFFFFu) {
    return Status::Error("The image is too large for a PNG file");
  }
  try {
    static constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    out.assign(kSignature, kSignature + 8);
    const std::size_t ihdr = OpenChunk(out, "IHDR");
    out.resize(ihdr + 8 + 13);
    std::uint8_t* h = out.data() + ihdr + 8;
    Put32(h, static_cast<std::uint32_t>(raster.width));
    Put32(h + 4, static_cast<std::uint32_t>(raster.height));
    h[8] = 8;   // bits per component
    h[9] = 2;   // truecolour
    h[10] = 0;  // deflate
    h[11] = 0;  // adaptive filtering (each row names its filter)
    h[12] = 0;  // not interlaced
    CloseChunk(out, ihdr, 13);

    IdatWriter idat(out);
    if (!idat.Init()) return Status::Error("PNG compression could not start");
    const bool written = raster.format == PixelFormat::Xrgb32
                             ? WriteRows<PixelFormat::Xrgb32>(raster, idat)
                             : WriteRows<PixelFormat::Rgb24>(raster, idat);
    if (!written) {
      out.clear();
      return Status::Error("PNG compression failed");
    }
    CloseChunk(out, OpenChunk(out, "IEND"), 0);
  } catch (const std::bad_alloc&) {
    out.clear();
    return Status::Error("Not enough memory for the PNG image");
  }
  return Status::Ok();
}

}  // namespace quorvel
