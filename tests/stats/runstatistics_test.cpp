#include "stats/runstatistics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <random>
#include <vector>

namespace quorvel {
namespace {

using Series = std::vector<std::optional<std::int64_t>>;  // micros; empty: lost

// The figures computed the slow, obvious way from the whole series.
StatisticsSummary BruteForce(const Series& series) {
  StatisticsSummary s;
  std::vector<std::int64_t> replies;
  std::uint64_t run = 0;
  for (const auto& v : series) {
    ++s.sent;
    if (v) {
      replies.push_back(*v);
      run = 0;
    } else {
      ++s.lost;
      s.longestLossRun = std::max(s.longestLossRun, ++run);
    }
  }
  s.received = replies.size();
  if (s.sent) s.lossPercent = 100.0 * double(s.lost) / double(s.sent);
  if (replies.empty()) return s;
  double sum = 0;
  for (auto r : replies) sum += double(r);
  const double mean = sum / double(replies.size());
  double squares = 0;
  for (auto r : replies) squares += (double(r) - mean) * (double(r) - mean);
  s.meanMs = mean / 1000;
  s.stdDevMs = std::sqrt(squares / double(replies.size())) / 1000;
  double jitter = 0, differences = 0;
  for (std::size_t i = 1; i < replies.size(); ++i) {
    const double d = std::fabs(double(replies[i] - replies[i - 1]));
    jitter += (d - jitter) / 16;
    differences += d;
  }
  if (replies.size() > 1) {
    s.jitterMs = jitter / 1000;
    s.meanDifferenceMs = differences / double(replies.size() - 1) / 1000;
  }
  std::vector<std::int64_t> sorted = replies;
  std::sort(sorted.begin(), sorted.end());
  s.minMs = double(sorted.front()) / 1000;
  s.maxMs = double(sorted.back()) / 1000;
  // Nearest rank, with the rank taken in whole numbers: ceil(p * n / 100).
  auto rank = [&](std::uint64_t p) {
    const std::uint64_t n = sorted.size();
    return std::max<std::uint64_t>(1, (p * n + 99) / 100);
  };
  s.p50Ms = double(sorted[rank(50) - 1]) / 1000;
  s.p95Ms = double(sorted[rank(95) - 1]) / 1000;
  s.p99Ms = double(sorted[rank(99) - 1]) / 1000;
  return s;
}

StatisticsSummary Fed(const Series& series) {
  RunStatistics stats;
  std::int64_t t = 1'700'000'000'000;
  for (const auto& v : series) stats.Add(v, t += 1000, 3600);
  return stats.Summary();
}

// Exact figures must agree to rounding; percentiles within the histogram's
// stated bound.
void ExpectMatches(const StatisticsSummary& got, const StatisticsSummary& want) {
  EXPECT_EQ(got.sent, want.sent);
  EXPECT_EQ(got.received, want.received);
  EXPECT_EQ(got.lost, want.lost);
  EXPECT_DOUBLE_EQ(got.lossPercent, want.lossPercent);
  EXPECT_EQ(got.longestLossRun, want.longestLossRun);
  EXPECT_DOUBLE_EQ(got.minMs, want.minMs);
  EXPECT_DOUBLE_EQ(got.maxMs, want.maxMs);
  EXPECT_NEAR(got.meanMs, want.meanMs, 1e-9 * std::max(1.0, want.meanMs));
  EXPECT_NEAR(got.stdDevMs, want.stdDevMs, 1e-7 * std::max(1.0, want.stdDevMs));
  EXPECT_NEAR(got.jitterMs, want.jitterMs, 1e-9 * std::max(1.0, want.jitterMs));
  EXPECT_NEAR(got.meanDifferenceMs, want.meanDifferenceMs,
              1e-9 * std::max(1.0, want.meanDifferenceMs));
  const double bound = LatencyHistogram::kMaxRelativeError;
  EXPECT_LE(std::fabs(got.p50Ms - want.p50Ms), bound * want.p50Ms) << want.p50Ms;
  EXPECT_LE(std::fabs(got.p95Ms - want.p95Ms), bound * want.p95Ms) << want.p95Ms;
  EXPECT_LE(std::fabs(got.p99Ms - want.p99Ms), bound * want.p99Ms) << want.p99Ms;
}

TEST(RunStatistics, AgreesWithBruteForceOnRecordedAndRandomSeries) {
  const std::optional<std::int64_t> lost;
  std::vector<Series> cases = {
      {},
      {lost, lost, lost},                          // all lost
      {47},                                        // one sample
      {lost, 47, lost, lost},
      {12'345, 12'345, 12'345, 12'345},           // constant
      {10'000, 90'000, 10'000, 90'000, 10'000},   // oscillation
      // A recorded loopback run and a recorded Internet run, losses included.
      {47, 31, 52, 44, lost, 39, 61, 45, 48, 40, 2'101, 43},
      {18'234, 17'998, 19'870, lost, lost, lost, 18'102, 120'455, 18'300, 17'950, lost, 18'020},
  };
  std::mt19937_64 random(20261208);
  for (int k = 0; k < 20; ++k) {
    Series s;
    const int n = 1 + int(random() % 3000);
    std::lognormal_distribution<double> rtt(std::log(20'000.0), 0.6 + 0.1 * k);
    for (int i = 0; i < n; ++i) {
      if (random() % 17 == 0) s.push_back(lost);
      else s.push_back(std::min<std::int64_t>(std::llround(rtt(random)), 59'000'000));
    }
    cases.push_back(s);
  }
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(i);
    ExpectMatches(Fed(cases[i]), BruteForce(cases[i]));
  }
}

TEST(RunStatistics, EdgeSeriesHaveTheirExactFigures) {
  const StatisticsSummary none = Fed({});
  EXPECT_EQ(none.sent, 0u);
  EXPECT_EQ(none.lossPercent, 0);

  const StatisticsSummary allLost = Fed({std::nullopt, std::nullopt});
  EXPECT_EQ(allLost.lossPercent, 100);
  EXPECT_EQ(allLost.longestLossRun, 2u);
  EXPECT_EQ(allLost.received, 0u);

  const StatisticsSummary one = Fed({47});
  EXPECT_EQ(one.minMs, 0.047);
  EXPECT_EQ(one.p99Ms, 0.047);
  EXPECT_EQ(one.stdDevMs, 0);
  EXPECT_EQ(one.jitterMs, 0);

  const StatisticsSummary constant = Fed({250'000, 250'000, 250'000});
  EXPECT_EQ(constant.p50Ms, 250);  // clamped to what was seen, not the bucket's middle
  EXPECT_EQ(constant.stdDevMs, 0);
  EXPECT_EQ(constant.jitterMs, 0);
  EXPECT_EQ(constant.meanDifferenceMs, 0);

  // 10, 90, 10, 90 ...: every difference is 80 ms. Over sorted values the
  // "jitter" would be (90 - 10) / (n - 1) instead.
  Series oscillation;
  for (int i = 0; i < 400; ++i) oscillation.push_back(i % 2 ? 90'000 : 10'000);
  const StatisticsSummary o = Fed(oscillation);
  EXPECT_EQ(o.meanDifferenceMs, 80);
  EXPECT_NEAR(o.jitterMs, 80 * (1 - std::pow(15.0 / 16.0, 399)), 1e-9);
  EXPECT_NEAR(o.jitterMs, 80, 1e-6);
}

TEST(RunStatistics, LastLossAndClear) {
  RunStatistics stats;
  stats.AddReply(10);
  stats.AddLoss(1'733'666'709'123, 3600);
  stats.AddReply(20);
  StatisticsSummary s = stats.Summary();
  ASSERT_TRUE(s.lastLossUnixMs);
  EXPECT_EQ(*s.lastLossUnixMs, 1'733'666'709'123);
  EXPECT_EQ(s.lastLossUtcOffsetSeconds, 3600);
  EXPECT_EQ(s.longestLossRun, 1u);
  EXPECT_EQ(StatisticsLines(s).back(), "Last loss: 2024-12-08 15:05:09");

  stats.Clear();
  s = stats.Summary();
  EXPECT_EQ(s.sent, 0u);
  EXPECT_FALSE(s.lastLossUnixMs);
  EXPECT_EQ(stats.Histogram().Count(), 0u);
}

TEST(LatencyHistogram, BucketsTileTheRangeWithTheStatedWidth) {
  std::int64_t next = 0;
  for (std::size_t b = 0; b < LatencyHistogram::kBuckets; ++b) {
    const std::int64_t low = LatencyHistogram::BucketLow(b);
    const std::int64_t width = LatencyHistogram::BucketWidth(b);
    ASSERT_EQ(low, next) << b;  // no gap, no overlap
    ASSERT_EQ(LatencyHistogram::BucketOf(low), b);
    ASSERT_EQ(LatencyHistogram::BucketOf(low + width - 1), b);
    if (width > 1) {
      ASSERT_GE(low, 64 * width) << b;  // what bounds the error
    }
    next = low + width;
  }
  EXPECT_EQ(next, std::int64_t{1} << 32);
  EXPECT_EQ(LatencyHistogram::BucketOf(std::int64_t{1} << 40), LatencyHistogram::kBuckets - 1);
  EXPECT_EQ(LatencyHistogram::BucketOf(-5), 0u);
}

TEST(LatencyHistogram, QuantilesOfOneMillionRandomTimesAreWithinTheBound) {
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> exponent(0, std::log(60e6));
  LatencyHistogram h;
  std::vector<std::int64_t> all;
  for (int i = 0; i < 1'000'000; ++i) {
    const auto v = std::int64_t(std::exp(exponent(random)));
    all.push_back(v);
    h.Add(v);
  }
  std::sort(all.begin(), all.end());
  double worst = 0;
  for (int permille = 1; permille <= 1000; ++permille) {
    const double exact = double(all[(std::uint64_t(permille) * all.size() + 999) / 1000 - 1]);
    const double error = std::fabs(h.Quantile(permille / 1000.0) - exact) / std::max(exact, 1.0);
    worst = std::max(worst, error);
  }
  EXPECT_LE(worst, LatencyHistogram::kMaxRelativeError);
  EXPECT_LE(LatencyHistogram::kMaxRelativeError, 0.01);
}

TEST(QuantileRank, IsTheNearestRankOfTheDecimalQuantile) {
  EXPECT_EQ(QuantileRank(0.95, 100), 95u);  // 0.95 * 100 is a hair above 95
  EXPECT_EQ(QuantileRank(0.95, 101), 96u);
  EXPECT_EQ(QuantileRank(0.5, 4), 2u);
  EXPECT_EQ(QuantileRank(0.0, 4), 1u);
  EXPECT_EQ(QuantileRank(1.0, 4), 4u);
  EXPECT_EQ(QuantileRank(0.99, 0), 0u);
}

TEST(StatisticsTexts, LinesAndJson) {
  StatisticsSummary s = Fed({std::nullopt, 31, 47, 80});
  s.lost = 2;
  s.sent = 400;
  s.lossPercent = 0.5;
  EXPECT_EQ(LossText(s), "Loss: 2 of 400 (0.5 %)");
  const std::vector<std::string> lines = StatisticsLines(s);
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[1], "Min/Avg/Max of replies: 0.031 / 0.053 / 0.080 ms");
  EXPECT_EQ(lines[3], "Median/p95/p99 of replies: 0.047 / 0.080 / 0.080 ms");

  StatisticsSummary tiny;
  tiny.sent = 10000;
  tiny.lost = 1;
  tiny.lossPercent = 0.01;
  EXPECT_EQ(LossText(tiny), "Loss: 1 of 10000 (<0.1 %)");

  const std::vector<std::string> variants = StatisticsLineVariants(s);
  ASSERT_FALSE(variants.empty());
  for (std::size_t i = 1; i < variants.size(); ++i) {
    EXPECT_LT(variants[i].size(), variants[i - 1].size());
  }
  EXPECT_EQ(variants[1], "Loss 0.5 %  0.031/0.053/0.080 ms  jitter 0.003  p95 0.080");
  EXPECT_TRUE(StatisticsLineVariants(StatisticsSummary{}).empty());

  EXPECT_EQ(StatisticsJson(Fed({}), "h\"\x01\xff"),
            "{\"address\":\"h\\\"\\u0001\xEF\xBF\xBD\",\"sent\":0,\"received\":0,\"lost\":0,"
            "\"loss_percent\":0.000,\"min_ms\":null,\"avg_ms\":null,\"max_ms\":null,"
            "\"stddev_ms\":null,\"jitter_ms\":null,\"mean_difference_ms\":null,\"p50_ms\":null,"
            "\"p95_ms\":null,\"p99_ms\":null,\"longest_loss_run\":0,\"last_loss\":null,"
            "\"last_loss_unix_ms\":null}\n");
}

TEST(JsonString, KeepsValidUtf8AndReplacesTheRest) {
  const struct {
    std::string in, out;
  } cases[] = {
      {"plain", "\"plain\""},
      {"tab\there\\", "\"tab\\there\\\\\""},
      {"\xC3\xA9t\xC3\xA9", "\"\xC3\xA9t\xC3\xA9\""},
      {"\xF0\x9F\x98\x80", "\"\xF0\x9F\x98\x80\""},
      {"\xC0\xAF", "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},          // overlong
      {"\xED\xA0\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},  // surrogate
      {"\xE2\x82", "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},          // cut short
      {std::string("a\0b", 3), "\"a\\u0000b\""},
  };
  for (const auto& c : cases) EXPECT_EQ(JsonString(c.in), c.out) << c.in;
}

}  // namespace
}  // namespace quorvel
