#include "common/benchchart.h"

#include <cstdint>

quorvel::ChartModel BenchChart(std::size_t points, std::size_t window) {
  quorvel::ChartModel m;
  m.look.title = "Quorvel of 127.0.0.1 - 1 sec. interval";
  m.look.leftTitle = "Ping - milliseconds";
  m.left = quorvel::AxisRange(0, 60);
  double sum = 0;
  for (std::size_t i = 0; i < points; ++i) {
    const int value = static_cast<int>(10 + (i * 37) % 45);
    const bool lost = i % 97 == 0;
    const auto time = static_cast<std::uint32_t>(i % 86400);
    m.data.AddPing(lost ? 3000 : value, lost ? quorvel::kRed : quorvel::kBlue, time);
    sum += lost ? 3000 : value;
    if (i >= 1) m.data.AddAverage(sum / static_cast<double>(i + 1), quorvel::kFuchsia, time);
  }
  const double last = static_cast<double>(points - 1);
  m.bottom = quorvel::AxisRange(last - static_cast<double>(window), last);
  return m;
}
