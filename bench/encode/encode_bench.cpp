// Encode time and size of the image encoders on a graph raster, beside the
// reference libraries at the same settings: libpng (Sub filter, level 7),
// giflib (the same 216-colour indexed image) and libjpeg-turbo (defaults and
// quality, as cjpeg uses them). Prints its figures; not a test.
//
//   bench_encode [folder]   also writes our images and the chart into folder

#include <algorithm>
#include <chrono>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <QGuiApplication>
#include <QImage>
#include <gif_lib.h>
#include <jpeglib.h>
#include <png.h>
#include <spawn.h>
#include <sys/wait.h>
#include <zlib.h>

#include "chart.h"
#include "base/fileio.h"
#include "output/grayscale.h"
#include "output/imageencoders.h"

extern char** environ;

namespace {

using Bytes = std::vector<std::uint8_t>;
using LocalClock = std::chrono::steady_clock;

struct Timing {
  double median = 0, best = 0;
};

Timing Summarise(std::vector<double> ms) {
  std::sort(ms.begin(), ms.end());
  return Timing{ms[ms.size() / 2], ms.front()};
}

double Milliseconds(const std::function<void()>& f) {
  const auto start = LocalClock::now();
  f();
  return std::chrono::duration<double, std::milli>(LocalClock::now() - start).count();
}

// Runs a and b alternately, so that a change in the machine's load hits both.
std::pair<Timing, Timing> TimePair(const std::function<void()>& a, const std::function<void()>& b, int runs) {
  a();
  b();
  std::vector<double> ta, tb;
  for (int i = 0; i < runs; ++i) {
    ta.push_back(Milliseconds(a));
    tb.push_back(Milliseconds(b));
  }
  return {Summarise(ta), Summarise(tb)};
}

Timing TimeOne(const std::function<void()>& f, int runs) {
  f();
  std::vector<double> t;
  for (int i = 0; i < runs; ++i) t.push_back(Milliseconds(f));
  return Summarise(t);
}

// ------------------------------------------------------------ references

void PngWrite(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}
void PngFlush(png_structp) {}

// libpng with only the Sub filter at level 7; `zlibDefaultStrategy` also
// replaces libpng's own choice for filtered rows (Z_FILTERED) by zlib's default.
bool LibpngEncode(const QImage& image, bool zlibDefaultStrategy, Bytes& out) {
  out.clear();
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(png, &out, PngWrite, PngFlush);
  png_set_IHDR(png, info, static_cast<png_uint_32>(image.width()), static_cast<png_uint_32>(image.height()), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
  png_set_compression_level(png, 7);
  if (zlibDefaultStrategy) png_set_compression_strategy(png, Z_DEFAULT_STRATEGY);
  png_write_info(png, info);
  // The rows are B, G, R, X bytes, as ours read them.
  png_set_bgr(png);
  png_set_filler(png, 0, PNG_FILLER_AFTER);
  for (int y = 0; y < image.height(); ++y) png_write_row(png, image.constScanLine(y));
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

int GifWrite(GifFileType* gif, const GifByteType* data, int length) {
  auto* out = static_cast<Bytes*>(gif->UserData);
  out->insert(out->end(), data, data + length);
  return length;
}

std::uint8_t IndexOf(std::uint32_t w) {
  using quorvel::GifLevelIndex;
  return static_cast<std::uint8_t>(36 * GifLevelIndex((w >> 16) & 0xFF) + 6 * GifLevelIndex((w >> 8) & 0xFF) +
                                   GifLevelIndex(w & 0xFF));
}

// giflib with the same palette; `indices` given: the pixels are mapped
// already, else each row is mapped here as our encoder maps it.
bool GiflibEncode(const QImage& image, const Bytes* indices, Bytes& out) {
  out.clear();
  int error = 0;
  GifFileType* gif = EGifOpen(&out, GifWrite, &error);
  if (gif == nullptr) return false;
  ColorMapObject* map = GifMakeMapObject(256, nullptr);
  for (int i = 0; i < 256; ++i) {
    map->Colors[i].Red = static_cast<GifByteType>(i < 216 ? 51 * (i / 36) : 0);
    map->Colors[i].Green = static_cast<GifByteType>(i < 216 ? 51 * (i / 6 % 6) : 0);
    map->Colors[i].Blue = static_cast<GifByteType>(i < 216 ? 51 * (i % 6) : 0);
  }
  EGifSetGifVersion(gif, true);
  bool ok = EGifPutScreenDesc(gif, image.width(), image.height(), 8, 0, map) == GIF_OK &&
            EGifPutImageDesc(gif, 0, 0, image.width(), image.height(), false, nullptr) == GIF_OK;
  std::vector<GifPixelType> line(static_cast<std::size_t>(image.width()));
  for (int y = 0; ok && y < image.height(); ++y) {
    if (indices != nullptr) {
      std::memcpy(line.data(), indices->data() + static_cast<std::size_t>(y) * line.size(), line.size());
    } else {
      const auto* row = reinterpret_cast<const std::uint32_t*>(image.constScanLine(y));
      for (int x = 0; x < image.width(); ++x) line[static_cast<std::size_t>(x)] = IndexOf(row[x]);
    }
    ok = EGifPutLine(gif, line.data(), image.width()) == GIF_OK;
  }
  ok = EGifCloseFile(gif, &error) == GIF_OK && ok;
  GifFreeMapObject(map);
  return ok;
}

bool LibjpegEncode(const QImage& image, int quality, Bytes& out) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = static_cast<JDIMENSION>(image.width());
  cinfo.image_height = static_cast<JDIMENSION>(image.height());
  cinfo.input_components = 4;
  cinfo.in_color_space = JCS_EXT_BGRX;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(image.constScanLine(static_cast<int>(cinfo.next_scanline)));
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  out.assign(buffer, buffer + size);
  std::free(buffer);
  return true;
}

// cjpeg -quality 90 on the chart as a PPM; empty when cjpeg is missing.
Bytes Cjpeg(const QImage& image, int quality, const std::string& folder) {
  const std::string ppm = folder + "/bench-chart.ppm", jpg = folder + "/bench-cjpeg.jpg";
  if (!image.convertToFormat(QImage::Format_RGB888).save(QString::fromStdString(ppm), "PPM")) return {};
  const std::string q = std::to_string(quality);
  const char* argv[] = {"cjpeg", "-quality", q.c_str(), "-outfile", jpg.c_str(), ppm.c_str(), nullptr};
  pid_t pid = 0;
  if (posix_spawnp(&pid, "cjpeg", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) return {};
  int status = 0;
  waitpid(pid, &status, 0);
  std::FILE* f = std::fopen(jpg.c_str(), "rb");
  if (f == nullptr || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    if (f != nullptr) std::fclose(f);
    return {};
  }
  Bytes bytes;
  for (int c; (c = std::fgetc(f)) != EOF;) bytes.push_back(static_cast<std::uint8_t>(c));
  std::fclose(f);
  std::remove(ppm.c_str());
  std::remove(jpg.c_str());
  return bytes;
}

// ------------------------------------------------------------ report

void Row(const char* what, Timing ours, std::size_t ourSize, const char* reference, Timing ref, std::size_t refSize) {
  std::printf("  %-5s ours %7.3f ms (best %7.3f) %8zu B | %-22s %7.3f ms (best %7.3f) %8zu B | time x%.2f size x%.3f\n",
              what, ours.median, ours.best, ourSize, reference, ref.median, ref.best, refSize,
              ours.median / ref.median, static_cast<double>(ourSize) / static_cast<double>(refSize));
}

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "%s failed\n", what);
    std::exit(1);
  }
}

void Bench(int width, int height, int runs, const std::string& folder) {
  const QImage chart = DrawBenchChart(width, height, 1);
  const quorvel::RasterView view{chart.constBits(), chart.width(), chart.height(), chart.bytesPerLine(),
                                 quorvel::PixelFormat::Xrgb32};
  std::printf("\nGraph raster %d x %d, median of %d runs each (ours and reference alternating)\n", width, height, runs);
  Bytes ours, ref;

  // PNG
  auto [pngOurs, pngRef] = TimePair([&] { Check(quorvel::EncodePng(view, ours).ok(), "PNG"); },
                                    [&] { Check(LibpngEncode(chart, false, ref), "libpng"); }, runs);
  Row("PNG", pngOurs, ours.size(), "libpng (Z_FILTERED)", pngRef, ref.size());
  auto [pngOurs2, pngRef2] = TimePair([&] { Check(quorvel::EncodePng(view, ours).ok(), "PNG"); },
                                      [&] { Check(LibpngEncode(chart, true, ref), "libpng"); }, runs);
  Row("PNG", pngOurs2, ours.size(), "libpng (default strat.)", pngRef2, ref.size());
  if (!folder.empty()) quorvel::ReplaceFileWhole(folder + "/bench-ours.png", std::string_view(reinterpret_cast<const char*>(ours.data()), ours.size()));

  // GIF
  auto [gifOurs, gifRef] = TimePair([&] { Check(quorvel::EncodeGif(view, ours).ok(), "GIF"); },
                                    [&] { Check(GiflibEncode(chart, nullptr, ref), "giflib"); }, runs);
  Row("GIF", gifOurs, ours.size(), "giflib (map + encode)", gifRef, ref.size());
  Bytes indices;
  for (int y = 0; y < height; ++y) {
    const auto* row = reinterpret_cast<const std::uint32_t*>(chart.constScanLine(y));
    for (int x = 0; x < width; ++x) indices.push_back(IndexOf(row[x]));
  }
  const Timing gifOnly = TimeOne([&] { Check(GiflibEncode(chart, &indices, ref), "giflib"); }, runs);
  std::printf("        giflib alone on premapped indices: %.3f ms (best %.3f)\n", gifOnly.median, gifOnly.best);
  if (!folder.empty()) quorvel::ReplaceFileWhole(folder + "/bench-ours.gif", std::string_view(reinterpret_cast<const char*>(ours.data()), ours.size()));

  // JPEG at file and web quality
  for (int quality : {90, 100}) {
    auto [jOurs, jRef] = TimePair([&] { Check(quorvel::EncodeJpeg(view, quality, ours).ok(), "JPEG"); },
                                  [&] { Check(LibjpegEncode(chart, quality, ref), "libjpeg"); }, runs);
    const std::string label = "JPG" + std::to_string(quality);
    Row(label.c_str(), jOurs, ours.size(), "libjpeg-turbo direct", jRef, ref.size());
    if (quality == 90 && !folder.empty()) {
      quorvel::ReplaceFileWhole(folder + "/bench-ours.jpg", std::string_view(reinterpret_cast<const char*>(ours.data()), ours.size()));
      const Bytes cjpeg = Cjpeg(chart, quality, folder);
      if (!cjpeg.empty()) {
        std::printf("        cjpeg -quality 90: %zu B, %s our bytes\n", cjpeg.size(),
                    cjpeg == ours ? "identical to" : "differs from");
      }
    }
  }

  // BMP
  const Timing bmp = TimeOne([&] { Check(quorvel::EncodeBmp(view, ours).ok(), "BMP"); }, runs);
  std::printf("  BMP   ours %7.3f ms (best %7.3f) %8zu B\n", bmp.median, bmp.best, ours.size());

  // Capture path: gray conversion, then JPEG at 90, on a fresh copy each run.
  std::vector<std::uint8_t> scratch(static_cast<std::size_t>(chart.sizeInBytes()));
  quorvel::MutableRasterView gray{scratch.data(), width, height, chart.bytesPerLine(), quorvel::PixelFormat::Xrgb32};
  std::vector<double> grayMs, jpegMs, bothMs;
  for (int i = 0; i <= runs; ++i) {
    std::memcpy(scratch.data(), chart.constBits(), scratch.size());
    const double g = Milliseconds([&] { quorvel::ConvertBitmapToGrayscale1(gray); });
    const double j = Milliseconds([&] { Check(quorvel::EncodeJpeg(gray, 90, ours).ok(), "JPEG"); });
    if (i == 0) continue;
    grayMs.push_back(g);
    jpegMs.push_back(j);
    bothMs.push_back(g + j);
  }
  const Timing tg = Summarise(grayMs), tj = Summarise(jpegMs), tb = Summarise(bothMs);
  std::printf("  gray + JPEG 90: %.3f ms (best %.3f) = gray %.3f + JPEG %.3f ms, %zu B\n", tb.median, tb.best,
              tg.median, tj.median, ours.size());
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const std::string folder = argc > 1 ? argv[1] : "";
  std::printf("zlib %s, libpng %s, giflib %d.%d.%d, libjpeg-turbo (JPEG_LIB_VERSION %d)\n", zlibVersion(),
              png_get_libpng_ver(nullptr), GIFLIB_MAJOR, GIFLIB_MINOR, GIFLIB_RELEASE, JPEG_LIB_VERSION);
  if (!folder.empty()) DrawBenchChart(791, 385, 1).save(QString::fromStdString(folder + "/bench-chart.png"));
  Bench(791, 385, 41, folder);
  Bench(1582, 770, 15, "");
  Bench(2000, 2000, 7, "");
  return 0;
}
