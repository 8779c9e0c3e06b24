#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
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

// The title of the view's time axis: the bars are equal widths over equal
// ratios of time, so it says that the scale is logarithmic.
inline constexpr const char* kDistributionAxisTitle =
    "Reply time - milliseconds (logarithmic scale)";

// A bar edge as its label shows it: milliseconds to three significant
// digits, without trailing zeros (17920 us "17.9", 19968 us "20", 31 us
// "0.031", 1024 us "1.02", 163840 us "164", 1228800 us "1,229").
std::string EdgeLabel(std::int64_t micros);

}  // namespace quorvel
