#include "output/imageencoders.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

#include "output/pixels.h"

namespace quorvel {

namespace {

constexpr unsigned kMinCodeSize = 8;  // 8 bits per pixel
constexpr std::uint32_t kClearCode = 1u << kMinCodeSize;
constexpr std::uint32_t kEndCode = kClearCode + 1;
constexpr std::uint32_t kFirstFreeCode = kClearCode + 2;
constexpr unsigned kMaxCodeSize = 12;
constexpr std::uint32_t kTableLimit = 1u << kMaxCodeSize;  // 4096 codes

// Packs codes LSB first into a buffer sized in advance for the worst case.
class BitWriter {
 public:
  explicit BitWriter(std::uint8_t* out) : out_(out), start_(out) {}

  void Put(std::uint32_t code, unsigned size) {
    bits_ |= static_cast<std::uint64_t>(code) << count_;
    count_ += size;
    if (count_ >= 32) {
      const auto word = static_cast<std::uint32_t>(bits_);
      out_[0] = static_cast<std::uint8_t>(word);
      out_[1] = static_cast<std::uint8_t>(word >> 8);
      out_[2] = static_cast<std::uint8_t>(word >> 16);
      out_[3] = static_cast<std::uint8_t>(word >> 24);
      out_ += 4;
      bits_ >>= 32;
      count_ -= 32;
    }
  }

  // Flushes the last partial byte; returns the number of bytes written.
  std::size_t Finish() {
    while (count_ > 0) {
      *out_++ = static_cast<std::uint8_t>(bits_);
      bits_ >>= 8;
      count_ = count_ > 8 ? count_ - 8 : 0;
    }
    return static_cast<std::size_t>(out_ - start_);
  }

 private:
  std::uint8_t* out_;
  std::uint8_t* start_;
  std::uint64_t bits_ = 0;
  unsigned count_ = 0;
};

// GIF's variable-length LZW over 8-bit pixel indices. The string table is an
// open-addressing hash of (prefix code, pixel) -> code, 16K slots for at most
// 3838 strings, so probes stay short and the table stays in cache; each slot
// holds the 20-bit key above the 12-bit code, 0 meaning empty (no string code
// is below 258).
class LzwEncoder {
 public:
  explicit LzwEncoder(std::uint8_t* out) : writer_(out) {
    Reset();
    writer_.Put(kClearCode, codeSize_);
  }

  void Feed(const std::uint8_t* indices, std::size_t count) {
    std::size_t i = 0;
    if (!started_ && count > 0) {
      prefix_ = indices[0];
      started_ = true;
      i = 1;
    }
    std::uint32_t prefix = prefix_;
    for (; i < count; ++i) {
      const std::uint32_t pixel = indices[i];
      const std::uint32_t key = (prefix << 8) | pixel;
      std::uint32_t slot = Hash(key);
      for (;;) {
        const std::uint32_t entry = table_[slot];
        if (entry == 0) {
          EmitAndAdd(prefix, slot, key);
          prefix = pixel;
          break;
        }
        if ((entry >> 12) == key) {
          prefix = entry & 0xFFFu;
          break;
        }
        slot = (slot + 1) & kSlotMask;
      }
    }
    prefix_ = prefix;
  }

  // Emits the pending string and the end code; returns the bytes written.
  std::size_t Finish() {
    if (started_) {
      writer_.Put(prefix_, codeSize_);
      // The decoder adds a string after this code too, and may widen the
      // code that it reads next.
      if (next_ >= (1u << codeSize_) && codeSize_ < kMaxCodeSize) ++codeSize_;
    }
    writer_.Put(kEndCode, codeSize_);
    return writer_.Finish();
  }

 private:
  static constexpr unsigned kSlotBits = 14;
  static constexpr std::uint32_t kSlotMask = (1u << kSlotBits) - 1;

  static std::uint32_t Hash(std::uint32_t key) { return (key * 0x9E3779B1u) >> (32 - kSlotBits); }

  void Reset() {
    table_.fill(0);
    next_ = kFirstFreeCode;
    codeSize_ = kMinCodeSize + 1;
  }

  void EmitAndAdd(std::uint32_t code, std::uint32_t slot, std::uint32_t key) {
    writer_.Put(code, codeSize_);
    // The decoder is one string behind the encoder, so it widens its codes
    // when the string about to be added here fills the current width.
    if (next_ >= (1u << codeSize_) && codeSize_ < kMaxCodeSize) ++codeSize_;
    if (next_ < kTableLimit) {
      table_[slot] = (key << 12) | next_;
      ++next_;
    } else {
      writer_.Put(kClearCode, codeSize_);
      Reset();
    }
  }

  BitWriter writer_;
  std::array<std::uint32_t, 1u << kSlotBits> table_;
  std::uint32_t next_ = kFirstFreeCode;
  unsigned codeSize_ = kMinCodeSize + 1;
  std::uint32_t prefix_ = 0;
  bool started_ = false;
};

struct IndexTables {
  std::array<std::uint8_t, 256> red, green, blue;
};

constexpr IndexTables MakeIndexTables() {
  IndexTables t{};
  for (unsigned c = 0; c < 256; ++c) {
    t.red[c] = static_cast<std::uint8_t>(36 * GifLevelIndex(c));
    t.green[c] = static_cast<std::uint8_t>(6 * GifLevelIndex(c));
    t.blue[c] = static_cast<std::uint8_t>(GifLevelIndex(c));
  }
  return t;
}

constexpr IndexTables kIndex = MakeIndexTables();

template <PixelFormat F>
void MapRow(const std::uint8_t* row, int width, std::uint8_t* indices) {
  for (int x = 0; x < width; ++x) {
    const pixels::Rgb c = pixels::Read<F>(row, x);
    indices[x] = static_cast<std::uint8_t>(kIndex.red[c.r] + kIndex.green[c.g] + kIndex.blue[c.b]);
  }
}

void Put16(std::vector<std::uint8_t>& out, unsigned v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}

}  // namespace

Status EncodeGif(const RasterView& raster, std::vector<std::uint8_t>& out) {
  out.clear();
  if (std::string problem = RasterProblem(raster); !problem.empty()) {
    return Status::Error(std::move(problem));
  }
  if (raster.width > 0xFFFF || raster.height > 0xFFFF) {
    return Status::Error("The image is too large for a GIF file");
  }
  const auto width = static_cast<unsigned>(raster.width);
  const auto height = static_cast<unsigned>(raster.height);

  // Every code stands for at least one pixel and is at most 12 bits; add the
  // clear codes (one per 3838 strings at most), the first clear and the end.
  const std::size_t pixelCount = static_cast<std::size_t>(width) * height;
  const std::size_t maxCodes = pixelCount + pixelCount / 3000 + 4;
  const std::size_t maxBytes = maxCodes * kMaxCodeSize / 8 + 8;
  std::unique_ptr<std::uint8_t[]> codes;
  std::unique_ptr<std::uint8_t[]> indices;
  std::unique_ptr<LzwEncoder> lzw;
  try {
    codes = std::make_unique_for_overwrite<std::uint8_t[]>(maxBytes);
    indices = std::make_unique_for_overwrite<std::uint8_t[]>(width);
    lzw = std::make_unique<LzwEncoder>(codes.get());
  } catch (const std::bad_alloc&) {
    return Status::Error("Not enough memory for the GIF image");
  }

  for (int y = 0; y < raster.height; ++y) {
    if (raster.format == PixelFormat::Xrgb32) {
      MapRow<PixelFormat::Xrgb32>(raster.Row(y), raster.width, indices.get());
    } else {
      MapRow<PixelFormat::Rgb24>(raster.Row(y), raster.width, indices.get());
    }
    lzw->Feed(indices.get(), width);
  }
  const std::size_t codeBytes = lzw->Finish();

  out.reserve(13 + 768 + 11 + codeBytes + codeBytes / 255 + 3);
  const char* signature = "GIF89a";
  out.insert(out.end(), signature, signature + 6);
  // Logical screen: global colour table of 2^(7+1) entries, 8-bit colour
  // resolution, not sorted; background index 0, no aspect ratio.
  Put16(out, width);
  Put16(out, height);
  out.push_back(0xF7);
  out.push_back(0);
  out.push_back(0);
  for (unsigned i = 0; i < 256; ++i) {
    if (i < 216) {
      out.push_back(static_cast<std::uint8_t>(51 * (i / 36)));
      out.push_back(static_cast<std::uint8_t>(51 * (i / 6 % 6)));
      out.push_back(static_cast<std::uint8_t>(51 * (i % 6)));
    } else {
      out.insert(out.end(), 3, 0);
    }
  }
  // Image descriptor: the whole screen, no local table, not interlaced.
  out.push_back(0x2C);
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, width);
  Put16(out, height);
  out.push_back(0);
  out.push_back(kMinCodeSize);
  for (std::size_t done = 0; done < codeBytes;) {
    const std::size_t block = std::min<std::size_t>(255, codeBytes - done);
    out.push_back(static_cast<std::uint8_t>(block));
    out.insert(out.end(), codes.get() + done, codes.get() + done + block);
    done += block;
  }
  out.push_back(0);     // block terminator
  out.push_back(0x3B);  // trailer
  return Status::Ok();
}

}  // namespace quorvel
