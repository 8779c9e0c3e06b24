#include "graph/distribution.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>

#include "stats/latencyhistogram.h"

namespace quorvel {
namespace {

TEST(MakeDistribution, BarsTileTheUsedBucketsWithExactCounts) {
  std::mt19937_64 random(3);
  const struct {
    double logMean, spread;
    int n;
  } cases[] = {{std::log(20'000.0), 0.3, 5000}, {std::log(40.0), 0.2, 300}, {std::log(9e6), 1.5, 3000}};
  for (const auto& c : cases) {
    LatencyHistogram h;
    std::lognormal_distribution<double> rtt(c.logMean, c.spread);
    for (int i = 0; i < c.n; ++i) h.Add(std::llround(rtt(random)));
    const Distribution d = MakeDistribution(h, 7, 40);
    ASSERT_FALSE(d.bars.empty());
    ASSERT_LE(d.bars.size(), 41u);
    std::uint64_t total = 0, tallest = 7;
    for (std::size_t i = 0; i < d.bars.size(); ++i) {
      if (i > 0) {
        EXPECT_EQ(d.bars[i].fromMicros, d.bars[i - 1].toMicros);
      }
      total += d.bars[i].count;
      tallest = std::max(tallest, d.bars[i].count);
    }
    EXPECT_EQ(total, h.Count());
    EXPECT_EQ(d.tallest, tallest);
    EXPECT_EQ(d.lost, 7u);
    EXPECT_GT(d.bars.front().count, 0u);
    EXPECT_GT(d.bars.back().count, 0u);
    // About equal ratios: no bar (but the last) spans less than the even
    // share of the whole range's ratio, nor much more.
    const double whole = double(d.bars.back().toMicros) / double(std::max<std::int64_t>(1, d.bars.front().fromMicros));
    const double share = std::pow(whole, 1.0 / 40);
    for (std::size_t i = 0; i + 1 < d.bars.size(); ++i) {
      const double r = double(d.bars[i].toMicros) / double(std::max<std::int64_t>(1, d.bars[i].fromMicros));
      EXPECT_GE(r, share * (1 - 1e-9)) << i;
      EXPECT_LE(r, share * 1.02 + 1.0 / double(std::max<std::int64_t>(1, d.bars[i].fromMicros))) << i;
    }
  }
  const Distribution none = MakeDistribution(LatencyHistogram{}, 3);
  EXPECT_TRUE(none.bars.empty());
  EXPECT_EQ(none.tallest, 3u);
}

}  // namespace
}  // namespace quorvel
