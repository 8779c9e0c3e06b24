#include "graph/axiswindow.h"

namespace quorvel {

bool AxisRange::SetMax(double value) {
  if (value < min_) return false;
  max_ = value;
  return true;
}

bool AxisRange::SetMin(double value) {
  if (value > max_) return false;
  min_ = value;
  return true;
}

bool AxisRange::SetRange(double lo, double hi) {
  if (hi < lo) return false;
  min_ = lo;
  max_ = hi;
  return true;
}

DataExtents PageExtents(std::size_t n) {
  constexpr std::size_t kPageSize = 250;
  DataExtents e;
  if (n == 0) return e;
  e.left = 0;
  e.right = n >= kPageSize ? static_cast<double>(kPageSize - 1)
                           : static_cast<double>(n - 1) * kPageSize / static_cast<double>(n);
  return e;
}

void LimitedScroll(AxisRange& window, double offset, std::size_t pointCount) {
  const DataExtents e = PageExtents(pointCount);
  if (offset > 0 && e.right > window.Max()) {
    window.Shift(offset);
  } else if (offset < 0 && e.left < window.Min()) {
    window.Shift(offset);
  }
}

void WindowStep(AxisRange& window, long long windowTickCount, std::size_t pointCount) {
  if (static_cast<double>(windowTickCount) <= window.Max() - window.Min()) return;
  window.SetMax(window.Max() + 1);
  window.SetMin(window.Min() + 1);
  const double offset = static_cast<double>(pointCount) - (window.Max() + 1);
  LimitedScroll(window, offset, pointCount);
}

void ResetWindow(AxisRange& window, int pointsPerPage) {
  window.SetMin(0);
  window.SetMax(pointsPerPage);
}

PanDirections AfterPanStep(AxisRange& vertical, AxisRange& window, int verticalMax,
                           int pointsPerPage, long long windowTickCount) {
  if (vertical.Min() < 0) vertical.SetRange(0, verticalMax);
  if (window.Min() < 0) window.SetRange(0, pointsPerPage);
  return windowTickCount < pointsPerPage ? PanDirections::VerticalOnly : PanDirections::Both;
}

}  // namespace quorvel
