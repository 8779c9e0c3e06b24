#pragma once

#include <string>
#include <vector>

namespace quorvel {

// A linear mapping of an axis range onto pixel positions: `min` lands on
// pixel `from`, `max` on pixel `to` (to < from for an axis that grows
// upwards). An empty range (max == min) maps every value onto the middle of
// the span, so no drawing ever divides by zero.
struct AxisMapping {
  double min = 0;
  double max = 0;
  double from = 0;
  double to = 0;

  double ToPixel(double value) const;
  // Axis units per pixel along the span; 0 for an empty range or span.
  double UnitsPerPixel() const;
};

// The spacing of the value labels: the smallest 1, 2 or 5 x 10^k whose
// labels stand at least `minSpacing` pixels apart over `pixels`, with the
// decimals its labels need. An empty range has one label, step 0.
struct LabelStep {
  double step = 0;
  int decimals = 0;
};
LabelStep ValueLabelStep(double range, double pixels, double minSpacing);

// The multiples of the step within [min, max], ascending; just `min` when the
// step is 0. Never more than a thousand.
std::vector<double> ValueLabels(double min, double max, const LabelStep& step);

// A value label: thousands grouped with ",", `decimals` after the point.
std::string FormatAxisValue(double value, int decimals);

}  // namespace quorvel
