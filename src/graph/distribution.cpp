#include "graph/distribution.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "graph/axisscale.h"

namespace quorvel {

Distribution MakeDistribution(const LatencyHistogram& h, std::uint64_t lost, std::size_t maxBars) {
  Distribution d;
  d.lost = lost;
  d.tallest = lost;
  if (h.Count() == 0 || maxBars == 0) return d;
  std::size_t first = 0;
  while (h.BucketCount(first) == 0) ++first;
  std::size_t last = LatencyHistogram::kBuckets - 1;
  while (h.BucketCount(last) == 0) --last;
  auto low = [](std::size_t b) { return LatencyHistogram::BucketLow(b); };
  auto high = [](std::size_t b) {
    return LatencyHistogram::BucketLow(b) + LatencyHistogram::BucketWidth(b);
  };
  // 0 us shares the first bar's ratio as if it were 1 us.
  const double from = static_cast<double>(std::max<std::int64_t>(low(first), 1));
  const double ratio =
      std::pow(static_cast<double>(high(last)) / from, 1.0 / static_cast<double>(maxBars));
  for (std::size_t b = first; b <= last;) {
    const double start = static_cast<double>(std::max<std::int64_t>(low(b), 1));
    std::size_t end = b;  // the bar's last bucket
    // A hair below the ratio counts as reaching it, so rounding never adds a bar.
    while (end < last && static_cast<double>(high(end)) < start * ratio * (1 - 1e-12)) ++end;
    DistributionBar bar{low(b), high(end), 0};
    for (std::size_t k = b; k <= end; ++k) bar.count += h.BucketCount(k);
    d.tallest = std::max(d.tallest, bar.count);
    d.bars.push_back(bar);
    b = end + 1;
  }
  return d;
}

}  // namespace quorvel

namespace quorvel {

std::string EdgeLabel(std::int64_t micros) {
  const double ms = static_cast<double>(std::max<std::int64_t>(micros, 0)) / 1000.0;
  // Three significant digits, but never finer than a microsecond.
  int decimals = 3;
  if (ms >= 100) {
    decimals = 0;
  } else if (ms >= 10) {
    decimals = 1;
  } else if (ms >= 1) {
    decimals = 2;
  }
  const double unit = std::pow(10.0, decimals);
  const double rounded = std::round(ms * unit) / unit;
  std::string text = FormatAxisValue(rounded, decimals);
  if (text.find('.') != std::string::npos) {
    while (text.back() == '0') text.pop_back();
    if (text.back() == '.') text.pop_back();
  }
  return text;
}

}  // namespace quorvel
