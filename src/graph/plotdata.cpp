#include "graph/plotdata.h"

#include <algorithm>

namespace quorvel {

void PlotData::AddPing(std::int32_t value, Colour colour, std::uint32_t time) {
  const double v = value;
  if (ping_.empty()) {
    max_ = min_ = v;
    sum_ = 0;
  } else {
    max_ = std::max(max_, v);
    min_ = std::min(min_, v);
  }
  sum_ += v;
  ping_.push_back({value, colour, time});
}

void PlotData::AddAverage(double value, Colour colour, std::uint32_t time) {
  average_.push_back({value, colour, time});
}

void PlotData::Clear() {
  // Swapping with fresh containers hands the memory back at once.
  std::deque<PingPoint>().swap(ping_);
  std::deque<AveragePoint>().swap(average_);
  max_ = min_ = sum_ = 0;
}

}  // namespace quorvel
