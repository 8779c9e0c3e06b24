// Prints how long the chart takes to draw into a raster: the 791 x 385 graph
// with a window of 400 points at the end of a series of 1,000 and of
// 1,000,000 points (the cost must depend on the window, not on the run), and
// the same window at 2000 x 2000.
#include <QGuiApplication>
#include <QImage>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "common/benchchart.h"
#include "graph/chartrenderer.h"

namespace {

using quorvel::ChartModel;

// Median milliseconds of `rounds` renders.
double Time(const ChartModel& m, QSize size, int rounds) {
  std::vector<double> times;
  for (int i = 0; i < rounds; ++i) {
    const auto start = std::chrono::steady_clock::now();
    const QImage image = quorvel::ChartRenderer::Render(size, m);
    const auto end = std::chrono::steady_clock::now();
    if (image.isNull()) return -1;
    times.push_back(std::chrono::duration<double, std::milli>(end - start).count());
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);

  const ChartModel small = BenchChart(1000);
  const ChartModel large = BenchChart(1000000);
  Time(small, QSize(791, 385), 20);  // warm-up: fonts and caches

  const double smallMs = Time(small, QSize(791, 385), 200);
  const double largeMs = Time(large, QSize(791, 385), 200);
  std::printf("791 x 385, window 400, series of 1,000 points:     %.3f ms\n", smallMs);
  std::printf("791 x 385, window 400, series of 1,000,000 points: %.3f ms\n", largeMs);
  std::printf("ratio 1,000,000 / 1,000:                            %.2f\n", largeMs / smallMs);

  ChartModel filled = BenchChart(1000000);
  filled.lineShown = false;
  filled.areaShown = true;
  std::printf("791 x 385, window 400, 1,000,000 points, filled:   %.3f ms\n",
              Time(filled, QSize(791, 385), 200));
  std::printf("2000 x 2000, window 400, 1,000,000 points:         %.3f ms\n",
              Time(large, QSize(2000, 2000), 30));
  std::printf("2000 x 2000, window 400, 1,000,000 points, filled: %.3f ms\n",
              Time(filled, QSize(2000, 2000), 30));
  return 0;
}
