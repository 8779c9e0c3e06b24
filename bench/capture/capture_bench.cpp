// Prints how long one capture takes from the graph to the file on disk, as
// Capture Now makes it: the 791 x 385 graph with a window of 400 points
// drawn into a raster, grayed, encoded as JPEG at quality 90 and written
// whole into a file of a temporary folder (the same name each time, so each
// run replaces the last). Figures are medians of repeated runs, with the
// share of each step and the same without the gray step.
#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "common/benchchart.h"
#include "graph/chartrenderer.h"
#include "output/grayscale.h"
#include "output/imagetypes.h"
#include "output/writegraphimage.h"

namespace {

using quorvel::ChartModel;
using LocalClock = std::chrono::steady_clock;


double Ms(LocalClock::time_point from, LocalClock::time_point to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

struct Times {
  std::vector<double> render, gray, write, total;
};

// One capture; false when the file could not be written.
bool Capture(const ChartModel& m, bool gray, const std::string& path, Times& times) {
  const auto t0 = LocalClock::now();
  QImage image = quorvel::ChartRenderer::Render(QSize(791, 385), m);
  const auto t1 = LocalClock::now();
  if (gray) {
    quorvel::ConvertBitmapToGrayscale1(quorvel::MutableRasterView{
        image.bits(), image.width(), image.height(), image.bytesPerLine(),
        quorvel::PixelFormat::Xrgb32});
  }
  const auto t2 = LocalClock::now();
  const quorvel::RasterView raster{image.constBits(), image.width(), image.height(),
                                   image.bytesPerLine(), quorvel::PixelFormat::Xrgb32};
  const quorvel::Status written =
      quorvel::WriteGraphImage(raster, quorvel::ImageType::Jpeg,
                               quorvel::ImageDestination::File(path), quorvel::kFileJpegQuality);
  const auto t3 = LocalClock::now();
  if (!written) {
    std::fprintf(stderr, "%s\n", written.message().c_str());
    return false;
  }
  times.render.push_back(Ms(t0, t1));
  times.gray.push_back(Ms(t1, t2));
  times.write.push_back(Ms(t2, t3));
  times.total.push_back(Ms(t0, t3));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  QTemporaryDir dir;
  if (!dir.isValid()) {
    std::fprintf(stderr, "no temporary folder\n");
    return 1;
  }
  const std::string path = dir.filePath("Ping - milliseconds-2024Mar05-1437.jpg").toStdString();
  const ChartModel model = BenchChart(1000);

  constexpr int kRounds = 200;
  for (const bool gray : {true, false}) {
    Times warmUp;
    for (int i = 0; i < 10; ++i) {
      if (!Capture(model, gray, path, warmUp)) return 1;
    }
    Times times;
    for (int i = 0; i < kRounds; ++i) {
      if (!Capture(model, gray, path, times)) return 1;
    }
    std::printf("JPEG 791 x 385, window 400, gray %-3s: %.3f ms  (render %.3f, gray %.3f, "
                "encode + write %.3f; median of %d)\n",
                gray ? "on" : "off", Median(times.total), Median(times.render), Median(times.gray),
                Median(times.write), kRounds);
  }
  return 0;
}
