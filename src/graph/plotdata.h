#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>

#include "graph/colour.h"

namespace quorvel {

// One ping point. Series1 (line) and Series2 (filled) always hold the same
// ping points, so they are stored once. `time` is the local time of day at
// which the point was added, in seconds after midnight: the point's label.
struct PingPoint {
  std::int32_t value;
  Colour colour;
  std::uint32_t time;
};

// One running-average point of Series3.
struct AveragePoint {
  double value;
  Colour colour;
  std::uint32_t time;
};

// The points of the graph. A point's position on the bottom axis is its index
// in its own series. Maximum, minimum and sum of the ping values are kept as
// points arrive (the sum in position order, as a walk over the points would
// add them), so the statistics of a tick do not grow with the run.
//
// Storage is chunked (std::deque): no reallocation spikes and no capacity
// overshoot as a run grows without limit.
class PlotData {
 public:
  void AddPing(std::int32_t value, Colour colour, std::uint32_t time);
  void AddAverage(double value, Colour colour, std::uint32_t time);
  void Clear();

  std::size_t PingCount() const { return ping_.size(); }
  std::size_t AverageCount() const { return average_.size(); }
  const PingPoint& Ping(std::size_t i) const { return ping_[i]; }
  const AveragePoint& Average(std::size_t i) const { return average_[i]; }

  // Valid while PingCount() > 0.
  double PingMax() const { return max_; }
  double PingMin() const { return min_; }
  double PingSum() const { return sum_; }

 private:
  std::deque<PingPoint> ping_;
  std::deque<AveragePoint> average_;
  double max_ = 0;
  double min_ = 0;
  double sum_ = 0;
};

}  // namespace quorvel
