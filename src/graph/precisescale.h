#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "graph/axisscale.h"
#include "graph/plotdata.h"

namespace quorvel {

// The Precise Scale view of the time graph: the reply times as ping printed
// them (microseconds, shown in milliseconds) on a vertical range fitted to
// them, lost pings as marks along the top edge rather than at the timeout,
// and a running average over the replies alone. Plain functions; any thread.

// One point of the view.
struct PrecisePoint {
  std::size_t index = 0;            // its position in the ping series
  std::optional<double> replyMs;    // empty: lost
  std::optional<double> averageMs;  // the mean of the replies among points 0 ... index
};

// The points first ... last (inclusive, clipped to the series). Costs the
// points visited plus one bounded look-up, however long the run.
std::vector<PrecisePoint> PrecisePoints(const PlotData& data, std::size_t first, std::size_t last);

// The vertical range of the view: from a multiple of `step` at or below the
// smallest value to one at or above the largest, with a little room at both
// ends and never below 0. The values are the reply times, and the averages
// too when `withAverage`. The step is the 1, 2 or 5 x 10^k (at least
// 0.001 ms) whose labels stand `minSpacing` pixels apart over `pixels`.
// Without a reply: 0 to 1 ms.
struct PreciseRange {
  double min = 0;
  double max = 1;
  LabelStep step;
};
PreciseRange FitPreciseRange(const std::vector<PrecisePoint>& points, bool withAverage,
                             double pixels, double minSpacing);

}  // namespace quorvel
