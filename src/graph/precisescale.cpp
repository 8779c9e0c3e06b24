#include "graph/precisescale.h"

#include <algorithm>
#include <cmath>

namespace quorvel {

namespace {

constexpr double kFinestStep = 0.001;  // one microsecond: what ping prints

}  // namespace

std::vector<PrecisePoint> PrecisePoints(const PlotData& data, std::size_t first, std::size_t last) {
  std::vector<PrecisePoint> points;
  if (data.PingCount() == 0 || first >= data.PingCount()) return points;
  last = std::min(last, data.PingCount() - 1);
  if (first > last) return points;
  points.reserve(last - first + 1);
  PlotData::ReplySum sum = data.RepliesBefore(first);
  for (std::size_t i = first; i <= last; ++i) {
    PrecisePoint point;
    point.index = i;
    if (const std::optional<std::int64_t> micros = data.Detail(i).micros) {
      point.replyMs = static_cast<double>(*micros) / 1000.0;
      ++sum.count;
      sum.micros += static_cast<std::uint64_t>(*micros);
    }
    if (sum.count > 0) {
      point.averageMs = static_cast<double>(sum.micros) / static_cast<double>(sum.count) / 1000.0;
    }
    points.push_back(point);
  }
  return points;
}

PreciseRange FitPreciseRange(const std::vector<PrecisePoint>& points, bool withAverage,
                             double pixels, double minSpacing) {
  std::optional<double> lo;
  std::optional<double> hi;
  auto take = [&](const std::optional<double>& v) {
    if (!v) return;
    lo = lo ? std::min(*lo, *v) : *v;
    hi = hi ? std::max(*hi, *v) : *v;
  };
  for (const PrecisePoint& p : points) {
    take(p.replyMs);
    if (withAverage) take(p.averageMs);
  }
  PreciseRange range;
  if (!lo) {
    range.step = ValueLabelStep(range.max - range.min, pixels, minSpacing);
    return range;
  }
  // Room above and below, so that the extremes do not sit on the edges; a
  // flat line gets a band around it.
  const double span = *hi - *lo;
  const double pad = span > 0 ? span * 0.08 : std::max(*hi * 0.05, 2 * kFinestStep);
  const double from = std::max(0.0, *lo - pad);
  const double to = *hi + pad;
  LabelStep step = ValueLabelStep(to - from, pixels, minSpacing);
  if (step.step < kFinestStep) step = {kFinestStep, 3};
  range.step = step;
  range.min = std::max(0.0, std::floor(from / step.step + 1e-9) * step.step);
  range.max = std::ceil(to / step.step - 1e-9) * step.step;
  if (range.max <= range.min) range.max = range.min + step.step;
  return range;
}

}  // namespace quorvel
