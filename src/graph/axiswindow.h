#pragma once

#include <cstddef>

namespace quorvel {

// A manually set axis range. Like the chart it models, it refuses a maximum
// below the current minimum and a minimum above the current maximum.
class AxisRange {
 public:
  AxisRange() = default;
  AxisRange(double min, double max) : min_(min), max_(max) {}

  double Min() const { return min_; }
  double Max() const { return max_; }

  // Each returns false, changing nothing, when the chart would refuse.
  bool SetMax(double value);
  bool SetMin(double value);
  // Both bounds as one range, whatever the range held before. lo <= hi.
  bool SetRange(double lo, double hi);
  void Shift(double by) { min_ += by; max_ += by; }

  friend bool operator==(const AxisRange&, const AxisRange&) = default;

 private:
  double min_ = 0;
  double max_ = 0;
};

// The data extents that bound the limited scroll: the chart pages its points
// 250 to a page and reports the extent of page 1. With no points both are 0;
// with n points the left extent is 0 and the right one is 249 from n = 250
// on, else the last position stretched to a full page, (n - 1) x 250 / n.
struct DataExtents {
  double left = 0;
  double right = 0;
};
DataExtents PageExtents(std::size_t pointCount);

// Moves the window by `offset`, but only toward data beyond the window: right
// while the right extent lies past the maximum, left while the left extent
// lies before the minimum.
void LimitedScroll(AxisRange& window, double offset, std::size_t pointCount);

// The window step of a plotted tick: once more ticks than the window is wide
// have been counted, the window moves on by one and is brought back so that
// the newest point stands at its right edge (within the limited scroll).
void WindowStep(AxisRange& window, long long windowTickCount, std::size_t pointCount);

// Back to 0 ... pointsPerPage, minimum first (Clear and the page reset).
void ResetWindow(AxisRange& window, int pointsPerPage);

enum class PanDirections { VerticalOnly, Both };

// What follows each pan step: a vertical window dragged below 0 snaps back to
// 0 ... verticalMax, a time window dragged below 0 to 0 ... pointsPerPage, and
// the time axis may be panned only once a page of ticks has been counted.
PanDirections AfterPanStep(AxisRange& vertical, AxisRange& window, int verticalMax,
                           int pointsPerPage, long long windowTickCount);

}  // namespace quorvel
