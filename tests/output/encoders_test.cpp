#include "output/imageencoders.h"

#include <algorithm>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>
#include <zlib.h>

#include "bytes.h"
#include "output/grayscale.h"
#include "output/writegraphimage.h"
#include "testraster.h"

namespace quorvel {
namespace {

using test::Be16;
using test::Be32;
using test::Le16;
using test::Le32;
using test::PixelOf;
using test::Rgb;
using test::TestRaster;
using Bytes = std::vector<std::uint8_t>;

Bytes Encoded(const RasterView& raster, ImageType type, int quality = 90) {
  Bytes out;
  const Status result = EncodeImage(raster, type, quality, out);
  EXPECT_TRUE(result.ok()) << result.message();
  return out;
}

// Counts pixels of `decoded` that differ from `expected(x, y)`; reports the
// first few.
template <typename Expected>
long CountMismatches(const QImage& decoded, const TestRaster& raster, Expected expected) {
  long bad = 0;
  for (int y = 0; y < raster.height; ++y) {
    for (int x = 0; x < raster.width; ++x) {
      const std::uint32_t want = expected(raster.At(x, y));
      const std::uint32_t got = PixelOf(decoded, x, y);
      if (got != want && ++bad <= 5) {
        ADD_FAILURE() << "pixel " << x << "," << y << ": " << std::hex << got << " != " << want;
      }
    }
  }
  return bad;
}

std::uint32_t Same(std::uint32_t w) { return w | 0xFF000000u; }

std::uint32_t GifColour(std::uint32_t w) {
  auto level = [](std::uint32_t c) { return 51 * GifLevelIndex(c); };
  return Rgb(level(test::RedOf(w)), level(test::GreenOf(w)), level(test::BlueOf(w)));
}

struct Size {
  int w, h;
};
// Odd widths give every BMP row padding and odd PNG rows.
const Size kSizes[] = {{1, 1}, {3, 2}, {5, 7}, {791, 385}, {2000, 2000}};

TestRaster SampleFor(Size s) {
  if (s.w >= 2000) return test::NoiseRaster(s.w, s.h);
  if (s.w >= 700) return test::ChartLikeRaster(s.w, s.h);
  return test::PatternRaster(s.w, s.h);
}

// ---------------------------------------------------------------- BMP

TEST(EncodeBmp, HeaderRowsAndPadding) {
  for (Size s : kSizes) {
    SCOPED_TRACE(std::to_string(s.w) + "x" + std::to_string(s.h));
    const TestRaster raster = SampleFor(s);
    const Bytes bmp = Encoded(raster.View(), ImageType::Bmp);
    const std::size_t row = (static_cast<std::size_t>(s.w) * 3 + 3) / 4 * 4;
    ASSERT_EQ(bmp.size(), 54 + row * static_cast<std::size_t>(s.h));
    EXPECT_EQ(bmp[0], 'B');
    EXPECT_EQ(bmp[1], 'M');
    EXPECT_EQ(Le32(bmp, 2), bmp.size());
    EXPECT_EQ(Le32(bmp, 10), 54u);  // pixel data offset
    EXPECT_EQ(Le32(bmp, 14), 40u);  // BITMAPINFOHEADER
    EXPECT_EQ(Le32(bmp, 18), static_cast<std::uint32_t>(s.w));
    EXPECT_EQ(Le32(bmp, 22), static_cast<std::uint32_t>(s.h));  // positive: bottom-up
    EXPECT_EQ(Le16(bmp, 26), 1u);
    EXPECT_EQ(Le16(bmp, 28), 24u);
    EXPECT_EQ(Le32(bmp, 30), 0u);  // BI_RGB
    EXPECT_EQ(Le32(bmp, 34), row * static_cast<std::size_t>(s.h));
    // The first stored row is the bottom one, in B, G, R order, then zeros.
    long bad = 0;
    for (int y = 0; y < s.h; ++y) {
      const std::size_t start = 54 + row * static_cast<std::size_t>(s.h - 1 - y);
      for (int x = 0; x < s.w; ++x) {
        const std::uint32_t p = raster.At(x, y);
        const std::size_t at = start + static_cast<std::size_t>(x) * 3;
        if (bmp[at] != test::BlueOf(p) || bmp[at + 1] != test::GreenOf(p) || bmp[at + 2] != test::RedOf(p)) ++bad;
      }
      for (std::size_t i = static_cast<std::size_t>(s.w) * 3; i < row; ++i) bad += bmp[start + i] != 0;
    }
    EXPECT_EQ(bad, 0);
    const QImage decoded = test::Decode(bmp, "BMP");
    ASSERT_FALSE(decoded.isNull());
    EXPECT_EQ(CountMismatches(decoded, raster, Same), 0);
  }
}

// ---------------------------------------------------------------- PNG

struct Chunk {
  std::string type;
  Bytes data;
  bool crcOk = false;
};

std::vector<Chunk> PngChunks(const Bytes& png) {
  std::vector<Chunk> chunks;
  static const std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (png.size() < 8 || !std::equal(kSignature, kSignature + 8, png.begin())) return chunks;
  std::size_t at = 8;
  while (at + 12 <= png.size()) {
    const std::size_t length = Be32(png, at);
    if (at + 12 + length > png.size()) break;
    Chunk c;
    c.type.assign(png.begin() + static_cast<std::ptrdiff_t>(at + 4), png.begin() + static_cast<std::ptrdiff_t>(at + 8));
    c.data.assign(png.begin() + static_cast<std::ptrdiff_t>(at + 8),
                  png.begin() + static_cast<std::ptrdiff_t>(at + 8 + length));
    c.crcOk = test::SlowCrc32(std::span(png).subspan(at + 4, 4 + length)) == Be32(png, at + 8 + length);
    chunks.push_back(std::move(c));
    at += 12 + length;
  }
  EXPECT_EQ(at, png.size()) << "bytes after the last chunk";
  return chunks;
}

Bytes Inflate(const Bytes& compressed, std::size_t expectedSize) {
  Bytes out(expectedSize + 1);
  z_stream zs{};
  EXPECT_EQ(inflateInit(&zs), Z_OK);
  zs.next_in = const_cast<Bytef*>(compressed.data());
  zs.avail_in = static_cast<uInt>(compressed.size());
  zs.next_out = out.data();
  zs.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(inflate(&zs, Z_FINISH), Z_STREAM_END);
  EXPECT_EQ(zs.avail_in, 0u) << "data after the end of the stream";
  out.resize(zs.total_out);
  inflateEnd(&zs);
  return out;
}

TEST(EncodePng, ChunksFiltersAndPixels) {
  for (Size s : kSizes) {
    SCOPED_TRACE(std::to_string(s.w) + "x" + std::to_string(s.h));
    const TestRaster raster = SampleFor(s);
    const Bytes png = Encoded(raster.View(), ImageType::Png);
    const std::vector<Chunk> chunks = PngChunks(png);
    ASSERT_GE(chunks.size(), 3u);
    EXPECT_EQ(chunks.front().type, "IHDR");
    EXPECT_EQ(chunks.back().type, "IEND");
    EXPECT_TRUE(chunks.back().data.empty());
    const Bytes& ihdr = chunks.front().data;
    ASSERT_EQ(ihdr.size(), 13u);
    EXPECT_EQ(Be32(ihdr, 0), static_cast<std::uint32_t>(s.w));
    EXPECT_EQ(Be32(ihdr, 4), static_cast<std::uint32_t>(s.h));
    EXPECT_EQ(ihdr[8], 8);   // bit depth
    EXPECT_EQ(ihdr[9], 2);   // truecolour
    EXPECT_EQ(ihdr[10], 0);
    EXPECT_EQ(ihdr[11], 0);
    EXPECT_EQ(ihdr[12], 0);  // not interlaced
    Bytes stream;
    for (std::size_t i = 0; i < chunks.size(); ++i) {
      EXPECT_TRUE(chunks[i].crcOk) << "chunk " << i << " " << chunks[i].type;
      if (i == 0 || i + 1 == chunks.size()) continue;
      EXPECT_EQ(chunks[i].type, "IDAT");
      EXPECT_LE(chunks[i].data.size(), 65535u);
      EXPECT_FALSE(chunks[i].data.empty());
      // Only the last IDAT may be short.
      if (i + 2 < chunks.size()) {
        EXPECT_EQ(chunks[i].data.size(), 65535u);
      }
      stream.insert(stream.end(), chunks[i].data.begin(), chunks[i].data.end());
    }
    if (s.w >= 2000) {
      EXPECT_GT(chunks.size(), 100u) << "noise should need many IDAT chunks";
    }
    // zlib header: deflate, 32K window, compression level flag "maximum" (7).
    ASSERT_GE(stream.size(), 2u);
    EXPECT_EQ(stream[0], 0x78);
    EXPECT_EQ(stream[1], 0xDA);
    const std::size_t rowBytes = 1 + 3 * static_cast<std::size_t>(s.w);
    const Bytes rows = Inflate(stream, rowBytes * static_cast<std::size_t>(s.h));
    ASSERT_EQ(rows.size(), rowBytes * static_cast<std::size_t>(s.h));
    long bad = 0;
    for (int y = 0; y < s.h; ++y) {
      const std::uint8_t* r = rows.data() + rowBytes * static_cast<std::size_t>(y);
      EXPECT_EQ(r[0], 1) << "row " << y << " is not Sub-filtered";
      std::uint8_t prev[3] = {0, 0, 0};
      for (int x = 0; x < s.w; ++x) {
        std::uint8_t c[3];
        for (int k = 0; k < 3; ++k) c[k] = static_cast<std::uint8_t>(r[1 + 3 * x + k] + prev[k]);
        const std::uint32_t p = raster.At(x, y);
        if (c[0] != test::RedOf(p) || c[1] != test::GreenOf(p) || c[2] != test::BlueOf(p)) ++bad;
        std::copy(c, c + 3, prev);
      }
    }
    EXPECT_EQ(bad, 0);
    const QImage decoded = test::Decode(png, "PNG");
    ASSERT_FALSE(decoded.isNull());
    EXPECT_EQ(CountMismatches(decoded, raster, Same), 0);
  }
}

// ---------------------------------------------------------------- GIF

// Walks header, colour table, image descriptor and data sub-blocks.
void CheckGifStructure(const Bytes& gif, int w, int h) {
  ASSERT_GE(gif.size(), 13u + 768u + 12u);
  EXPECT_EQ(std::string(gif.begin(), gif.begin() + 6), "GIF89a");
  EXPECT_EQ(Le16(gif, 6), static_cast<std::uint32_t>(w));
  EXPECT_EQ(Le16(gif, 8), static_cast<std::uint32_t>(h));
  EXPECT_EQ(gif[10], 0xF7);  // global table of 256, 8-bit colour
  for (unsigned i = 0; i < 256; ++i) {
    const std::size_t at = 13 + 3 * i;
    const unsigned r = i < 216 ? 51 * (i / 36) : 0;
    const unsigned g = i < 216 ? 51 * (i / 6 % 6) : 0;
    const unsigned b = i < 216 ? 51 * (i % 6) : 0;
    ASSERT_EQ(gif[at], r) << "entry " << i;
    ASSERT_EQ(gif[at + 1], g) << "entry " << i;
    ASSERT_EQ(gif[at + 2], b) << "entry " << i;
  }
  std::size_t at = 13 + 768;
  EXPECT_EQ(gif[at], 0x2C);
  EXPECT_EQ(Le16(gif, at + 1), 0u);
  EXPECT_EQ(Le16(gif, at + 3), 0u);
  EXPECT_EQ(Le16(gif, at + 5), static_cast<std::uint32_t>(w));
  EXPECT_EQ(Le16(gif, at + 7), static_cast<std::uint32_t>(h));
  EXPECT_EQ(gif[at + 9], 0);  // no local table, not interlaced
  EXPECT_EQ(gif[at + 10], 8);  // LZW minimum code size
  at += 11;
  while (at < gif.size() && gif[at] != 0) at += 1 + gif[at];
  ASSERT_LT(at + 1, gif.size());
  EXPECT_EQ(gif[at], 0);
  EXPECT_EQ(gif[at + 1], 0x3B);
  EXPECT_EQ(at + 2, gif.size());
}

// A strict decoder of the image data, written from the decoder's side of
// GIF's LZW: the stream must start with a clear code, use only known codes,
// hold exactly the image's pixels before its end code, and end there with
// nothing but zero bits after it.
struct StrictLzw {
  bool ok = false;
  std::string problem;
  Bytes indices;
};

StrictLzw StrictDecode(const Bytes& gif, std::size_t pixelCount) {
  StrictLzw r;
  Bytes data;
  std::size_t at = 13 + 768 + 11;
  while (at < gif.size() && gif[at] != 0) {
    data.insert(data.end(), gif.begin() + static_cast<std::ptrdiff_t>(at + 1),
                gif.begin() + static_cast<std::ptrdiff_t>(at + 1 + gif[at]));
    at += 1 + gif[at];
  }
  std::size_t bit = 0;
  auto read = [&](unsigned size, std::uint32_t& code) {
    if (bit + size > data.size() * 8) return false;
    code = 0;
    for (unsigned k = 0; k < size; ++k, ++bit) code |= ((data[bit / 8] >> (bit % 8)) & 1u) << k;
    return true;
  };
  std::vector<std::uint32_t> prefix(4096), suffix(4096);
  auto expand = [&](std::uint32_t code, Bytes& out) {
    const std::size_t start = out.size();
    while (code >= 258) {
      out.push_back(static_cast<std::uint8_t>(suffix[code]));
      code = prefix[code];
    }
    out.push_back(static_cast<std::uint8_t>(code));
    std::reverse(out.begin() + static_cast<std::ptrdiff_t>(start), out.end());
  };
  unsigned size = 9;
  std::uint32_t avail = 258, code = 0;
  std::int64_t prev = -1;
  if (!read(size, code) || code != 256) {
    r.problem = "no clear code first";
    return r;
  }
  for (;;) {
    if (!read(size, code)) {
      r.problem = "no end code";
      return r;
    }
    if (code == 256) {
      size = 9;
      avail = 258;
      prev = -1;
      continue;
    }
    if (code == 257) break;
    if (prev < 0) {
      if (code > 255) {
        r.problem = "string code after clear";
        return r;
      }
      r.indices.push_back(static_cast<std::uint8_t>(code));
      prev = code;
      continue;
    }
    std::uint32_t first;
    if (code < avail) {
      const std::size_t start = r.indices.size();
      expand(code, r.indices);
      first = r.indices[start];
    } else if (code == avail) {
      const std::size_t start = r.indices.size();
      expand(static_cast<std::uint32_t>(prev), r.indices);
      first = r.indices[start];
      r.indices.push_back(static_cast<std::uint8_t>(first));
    } else {
      r.problem = "unknown code " + std::to_string(code);
      return r;
    }
    if (avail < 4096) {
      prefix[avail] = static_cast<std::uint32_t>(prev);
      suffix[avail] = first;
      ++avail;
      if (avail == (1u << size) && size < 12) ++size;
    }
    prev = code;
  }
  if (r.indices.size() != pixelCount) {
    r.problem = std::to_string(r.indices.size()) + " pixels before the end code";
    return r;
  }
  if ((bit + 7) / 8 != data.size()) {
    r.problem = "bytes after the end code";
    return r;
  }
  for (; bit % 8 != 0; ++bit) {
    if (((data[bit / 8] >> (bit % 8)) & 1u) != 0) {
      r.problem = "stray bits after the end code";
      return r;
    }
  }
  r.ok = true;
  return r;
}

std::uint8_t GifIndex(std::uint32_t w) {
  return static_cast<std::uint8_t>(36 * GifLevelIndex(test::RedOf(w)) + 6 * GifLevelIndex(test::GreenOf(w)) +
                                   GifLevelIndex(test::BlueOf(w)));
}

void ExpectStrictlyDecodable(const Bytes& gif, const TestRaster& raster) {
  const StrictLzw lzw = StrictDecode(gif, static_cast<std::size_t>(raster.width) * static_cast<std::size_t>(raster.height));
  ASSERT_TRUE(lzw.ok) << lzw.problem;
  long bad = 0;
  for (int y = 0; y < raster.height; ++y) {
    for (int x = 0; x < raster.width; ++x) {
      bad += lzw.indices[static_cast<std::size_t>(y * raster.width + x)] != GifIndex(raster.At(x, y));
    }
  }
  EXPECT_EQ(bad, 0);
}

// Streams of every length up to past two code-width changes, so that the
// end code meets each width and each moment of a change.
TEST(EncodeGif, EveryLengthEndsCleanly) {
  const TestRaster noise = test::NoiseRaster(1400, 1, 11);
  for (int n = 1; n <= noise.width; ++n) {
    TestRaster row(n, 1);
    std::copy(noise.words.begin(), noise.words.begin() + n, row.words.begin());
    const Bytes gif = Encoded(row.View(), ImageType::Gif);
    SCOPED_TRACE(n);
    ExpectStrictlyDecodable(gif, row);
    if (::testing::Test::HasFailure()) return;
  }
}

TEST(EncodeGif, StructureAndPixels) {
  for (Size s : kSizes) {
    SCOPED_TRACE(std::to_string(s.w) + "x" + std::to_string(s.h));
    const TestRaster raster = SampleFor(s);
    const Bytes gif = Encoded(raster.View(), ImageType::Gif);
    CheckGifStructure(gif, s.w, s.h);
    ExpectStrictlyDecodable(gif, raster);
    const QImage decoded = test::Decode(gif, "GIF");
    ASSERT_FALSE(decoded.isNull());
    EXPECT_EQ(CountMismatches(decoded, raster, GifColour), 0);
  }
}

// Long runs, few colours and every code width up to a full table, with and
// without table resets.
TEST(EncodeGif, RunsAndFewColours) {
  TestRaster white(2000, 2000);
  std::fill(white.words.begin(), white.words.end(), Rgb(255, 255, 255));
  TestRaster four = test::NoiseRaster(1999, 1001, 3);
  for (auto& w : four.words) w = Rgb((w & 1u) * 255, 0, ((w >> 1) & 1u) * 255);
  TestRaster stripes(257, 300);
  for (int y = 0; y < stripes.height; ++y) {
    for (int x = 0; x < stripes.width; ++x) stripes.At(x, y) = Rgb(static_cast<std::uint32_t>(x % 256), 0, 0);
  }
  for (const TestRaster* raster : {&white, &four, &stripes}) {
    const Bytes gif = Encoded(raster->View(), ImageType::Gif);
    CheckGifStructure(gif, raster->width, raster->height);
    ExpectStrictlyDecodable(gif, *raster);
    const QImage decoded = test::Decode(gif, "GIF");
    ASSERT_FALSE(decoded.isNull());
    EXPECT_EQ(CountMismatches(decoded, *raster, GifColour), 0);
  }
}

TEST(EncodeGif, LevelMappingWithoutDithering) {
  struct Case {
    std::uint32_t in, out;
  };
  const Case cases[] = {{0, 0},     {40, 0},    {47, 0},    {48, 51},   {98, 51},  {99, 102},
                        {128, 102}, {149, 102}, {150, 153}, {200, 153}, {201, 204}, {251, 204},
                        {252, 255}, {255, 255}};
  TestRaster raster(static_cast<int>(std::size(cases)), 3);
  for (int x = 0; x < raster.width; ++x) {
    const std::uint32_t c = cases[x].in;
    raster.At(x, 0) = Rgb(c, c, c);
    raster.At(x, 1) = Rgb(c, 0, 255 - c);
    raster.At(x, 2) = Rgb(0, c, 0);
  }
  const QImage decoded = test::Decode(Encoded(raster.View(), ImageType::Gif), "GIF");
  ASSERT_FALSE(decoded.isNull());
  for (int x = 0; x < raster.width; ++x) {
    const std::uint32_t o = cases[x].out;
    EXPECT_EQ(PixelOf(decoded, x, 0), Rgb(o, o, o)) << cases[x].in;
    EXPECT_EQ(PixelOf(decoded, x, 2), Rgb(0, o, 0)) << cases[x].in;
  }
  EXPECT_EQ(CountMismatches(decoded, raster, GifColour), 0);
}

TEST(EncodeGif, GrayImageHasAtMostSixLevels) {
  TestRaster raster = test::PatternRaster(200, 100);
  ConvertBitmapToGrayscale1(raster.MutableView());
  const QImage decoded = test::Decode(Encoded(raster.View(), ImageType::Gif), "GIF");
  ASSERT_FALSE(decoded.isNull());
  for (int y = 0; y < raster.height; ++y) {
    for (int x = 0; x < raster.width; ++x) {
      const std::uint32_t p = PixelOf(decoded, x, y);
      const std::uint32_t r = test::RedOf(p);
      ASSERT_EQ(r % 51, 0u);
      ASSERT_EQ(p, Rgb(r, r, r));
    }
  }
}

// ---------------------------------------------------------------- JPEG

struct JpegInfo {
  bool jfif = false;
  int sofType = -1;  // 0xC0 for baseline
  int components = 0, width = 0, height = 0;
  Bytes lumaTable;  // the 64 entries of quantisation table 0
};

JpegInfo ParseJpeg(const Bytes& jpg) {
  JpegInfo info;
  EXPECT_TRUE(jpg.size() > 4 && jpg[0] == 0xFF && jpg[1] == 0xD8);
  EXPECT_TRUE(jpg[jpg.size() - 2] == 0xFF && jpg[jpg.size() - 1] == 0xD9);
  std::size_t at = 2;
  bool first = true;
  while (at + 4 <= jpg.size() && jpg[at] == 0xFF && jpg[at + 1] != 0xDA) {
    const int marker = jpg[at + 1];
    const std::size_t length = Be16(jpg, at + 2);
    const std::size_t body = at + 4;
    if (marker == 0xE0 && first) info.jfif = std::string(jpg.begin() + static_cast<std::ptrdiff_t>(body), jpg.begin() + static_cast<std::ptrdiff_t>(body + 5)) == std::string("JFIF\0", 5);
    if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
      info.sofType = marker;
      info.height = static_cast<int>(Be16(jpg, body + 1));
      info.width = static_cast<int>(Be16(jpg, body + 3));
      info.components = jpg[body + 5];
    }
    if (marker == 0xDB) {
      for (std::size_t t = body; t < at + 2 + length;) {
        const int id = jpg[t] & 0x0F;
        const bool wide = (jpg[t] >> 4) != 0;
        if (id == 0 && !wide) info.lumaTable.assign(jpg.begin() + static_cast<std::ptrdiff_t>(t + 1), jpg.begin() + static_cast<std::ptrdiff_t>(t + 65));
        t += 1 + (wide ? 128 : 64);
      }
    }
    first = false;
    at += 2 + length;
  }
  return info;
}

TEST(EncodeJpeg, BaselineJfifWithThreeComponents) {
  for (Size s : kSizes) {
    SCOPED_TRACE(std::to_string(s.w) + "x" + std::to_string(s.h));
    TestRaster raster = SampleFor(s);
    ConvertBitmapToGrayscale1(raster.MutableView());  // still three components
    const Bytes jpg = Encoded(raster.View(), ImageType::Jpeg, 90);
    const JpegInfo info = ParseJpeg(jpg);
    EXPECT_TRUE(info.jfif);
    EXPECT_EQ(info.sofType, 0xC0);
    EXPECT_EQ(info.components, 3);
    EXPECT_EQ(info.width, s.w);
    EXPECT_EQ(info.height, s.h);
    const QImage decoded = test::Decode(jpg, "JPEG");
    ASSERT_FALSE(decoded.isNull());
    ASSERT_EQ(decoded.width(), s.w);
    ASSERT_EQ(decoded.height(), s.h);
  }
}

TEST(EncodeJpeg, QualitySetsTheTables) {
  const TestRaster raster = test::PatternRaster(64, 48);
  // Quality 90 scales the standard luminance table by 20 %: 16 -> 3.
  const JpegInfo q90 = ParseJpeg(Encoded(raster.View(), ImageType::Jpeg, 90));
  ASSERT_EQ(q90.lumaTable.size(), 64u);
  EXPECT_EQ(q90.lumaTable[0], 3);
  const JpegInfo q100 = ParseJpeg(Encoded(raster.View(), ImageType::Jpeg, 100));
  ASSERT_EQ(q100.lumaTable.size(), 64u);
  EXPECT_TRUE(std::all_of(q100.lumaTable.begin(), q100.lumaTable.end(), [](std::uint8_t v) { return v == 1; }));
}

TEST(EncodeJpeg, DecodesCloseToTheRaster) {
  struct Case {
    bool gray;
    int quality;
    int maxError;
    double meanError;
  };
  // Chroma is subsampled, so the colour case is a smooth one; gray pixels
  // carry no chroma, so the gray case has sharp edges and noise.
  for (const Case c : {Case{true, 100, 3, 0.6}, Case{true, 90, 24, 2.5}, Case{false, 100, 6, 1.0}}) {
    SCOPED_TRACE(std::to_string(c.quality) + (c.gray ? " gray" : " colour"));
    TestRaster raster = test::PatternRaster(203, 101);
    if (c.gray) {
      ConvertBitmapToGrayscale1(raster.MutableView());
    } else {
      for (int y = 0; y < raster.height; ++y) {
        for (int x = 0; x < raster.width; ++x) {
          raster.At(x, y) = Rgb(static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(2 * y),
                                static_cast<std::uint32_t>((x + y) / 2));
        }
      }
    }
    const QImage decoded = test::Decode(Encoded(raster.View(), ImageType::Jpeg, c.quality), "JPEG");
    ASSERT_FALSE(decoded.isNull());
    int worst = 0;
    double sum = 0;
    for (int y = 0; y < raster.height; ++y) {
      for (int x = 0; x < raster.width; ++x) {
        const std::uint32_t a = raster.At(x, y), b = PixelOf(decoded, x, y);
        for (int shift : {0, 8, 16}) {
          const int d = std::abs(static_cast<int>((a >> shift) & 0xFFu) - static_cast<int>((b >> shift) & 0xFFu));
          worst = std::max(worst, d);
          sum += d;
        }
      }
    }
    EXPECT_LE(worst, c.maxError);
    EXPECT_LE(sum / (3.0 * raster.width * raster.height), c.meanError);
  }
}

TEST(EncodeJpeg, LibraryErrorComesBackAsText) {
  // Wider than JPEG allows: libjpeg raises its error from inside.
  TestRaster raster(70000, 1);
  Bytes out{1, 2, 3};
  const Status result = EncodeJpeg(raster.View(), 90, out);
  EXPECT_FALSE(result.ok());
  EXPECT_NE(result.message().find("JPEG"), std::string::npos) << result.message();
  EXPECT_TRUE(out.empty());
  // The encoder keeps no state: the next image is fine.
  EXPECT_TRUE(EncodeJpeg(test::PatternRaster(10, 10).View(), 90, out).ok());
}

// ---------------------------------------------------------------- all types

const ImageType kTypes[] = {ImageType::Bmp, ImageType::Jpeg, ImageType::Gif, ImageType::Png};

TEST(Encoders, LayoutOfTheRasterDoesNotMatter) {
  const TestRaster raster = test::PatternRaster(37, 23);
  // The same pixels packed tightly, bottom-up (negative stride), and as RGB bytes.
  TestRaster tight(37, 23);
  std::vector<std::uint8_t> rgb;
  for (int y = 0; y < 23; ++y) {
    for (int x = 0; x < 37; ++x) {
      tight.At(x, 22 - y) = raster.At(x, y);
      rgb.push_back(static_cast<std::uint8_t>(test::RedOf(raster.At(x, y))));
      rgb.push_back(static_cast<std::uint8_t>(test::GreenOf(raster.At(x, y))));
      rgb.push_back(static_cast<std::uint8_t>(test::BlueOf(raster.At(x, y))));
    }
    rgb.push_back(0xAA);  // one spare byte per row
  }
  RasterView bottomUp = tight.View();
  bottomUp.data += 22 * bottomUp.stride;
  bottomUp.stride = -bottomUp.stride;
  const RasterView rgbView{rgb.data(), 37, 23, 37 * 3 + 1, PixelFormat::Rgb24};
  for (ImageType type : kTypes) {
    SCOPED_TRACE(std::string(ImageExtension(type)));
    const Bytes reference = Encoded(raster.View(), type);
    EXPECT_EQ(Encoded(bottomUp, type), reference);
    EXPECT_EQ(Encoded(rgbView, type), reference);
  }
}

TEST(Encoders, RefuseUnusableRasters) {
  std::uint32_t pixel = 0;
  const auto* data = reinterpret_cast<const std::uint8_t*>(&pixel);
  const RasterView bad[] = {
      {data, 0, 1, 4, PixelFormat::Xrgb32},
      {data, 1, 0, 4, PixelFormat::Xrgb32},
      {nullptr, 1, 1, 4, PixelFormat::Xrgb32},
      {data, 1, 1, 3, PixelFormat::Xrgb32},
  };
  for (ImageType type : kTypes) {
    for (const RasterView& view : bad) {
      Bytes out{1};
      const Status result = EncodeImage(view, type, 90, out);
      EXPECT_FALSE(result.ok());
      EXPECT_FALSE(result.message().empty());
    }
  }
}

}  // namespace
}  // namespace quorvel
