#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "stats/latencyhistogram.h"

namespace quorvel {

// One bar of the distribution view: the replies in [fromMicros, toMicros).
struct DistributionBar {
  std::int64_t fromMicros;
  std::int64_t toMicros;
  std::uint64_t count;
};

// The distribution view of the received times: the histogram's buckets from
// the first to the last one used, merged into runs of whole buckets (so each
// bar's count is exact) that span about equal ratios of time, about
// `maxBars` of them: drawn side by side at equal widths they make a
// logarithmic time axis on which counts compare fairly. The lost pings are a
// bar of their own.
struct Distribution {
  std::vector<DistributionBar> bars;
  std::uint64_t lost = 0;
  std::uint64_t tallest = 0;  // the largest count among the bars and the lost
};

Distribution MakeDistribution(const LatencyHistogram& histogram, std::uint64_t lost,
                              std::size_t maxBars = 40);

}  // namespace quorvel
