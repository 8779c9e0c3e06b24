// The Precise Scale view's core: the running mean of the replies alone, the
// fitted vertical range and its label steps, and the distribution's edges.
#include "graph/precisescale.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <vector>

#include "graph/distribution.h"

namespace quorvel {
namespace {

// Points at one a second; a negative reply time is a lost ping.
PlotData Points(const std::vector<std::int64_t>& micros) {
  PlotData d;
  std::int64_t ms = 1'700'000'000'000;
  for (std::int64_t m : micros) {
    const std::optional<std::int64_t> reply = m < 0 ? std::nullopt : std::optional(m);
    d.AddPing(reply ? static_cast<std::int32_t>(m / 1000) : 800, kBlue,
              PointStamp{0, ms += 1000, 0}, reply);
  }
  return d;
}

TEST(PrecisePoints, AverageIsTheMeanOfTheRepliesSoFarFromAnywhereInALongRun) {
  // Long enough to cross several checkpoints: replies of 10, 20, 30 ... us
  // with every seventh ping lost.
  std::vector<std::int64_t> micros;
  for (int i = 0; i < 1000; ++i) micros.push_back(i % 7 == 3 ? -1 : (i % 5 + 1) * 10);
  const PlotData d = Points(micros);
  for (std::size_t first : {0u, 255u, 256u, 700u, 999u}) {
    const std::vector<PrecisePoint> points = PrecisePoints(d, first, first + 40);
    ASSERT_EQ(points.front().index, first);
    for (const PrecisePoint& p : points) {
      std::uint64_t count = 0, sum = 0;
      for (std::size_t i = 0; i <= p.index; ++i) {
        if (micros[i] >= 0) ++count, sum += static_cast<std::uint64_t>(micros[i]);
      }
      ASSERT_EQ(p.replyMs.has_value(), micros[p.index] >= 0) << p.index;
      ASSERT_NEAR(*p.averageMs, double(sum) / double(count) / 1000, 1e-12) << p.index;
    }
    EXPECT_EQ(points.back().index, std::min<std::size_t>(first + 40, 999));
  }
  // Until the first reply there is no average.
  EXPECT_FALSE(PrecisePoints(Points({-1, -1, 30}), 0, 2)[1].averageMs);
}

TEST(FitPreciseRange, FitsTheRepliesOnReadableSteps) {
  const struct {
    std::vector<std::int64_t> micros;
    bool withAverage;
    double min, max, step;
  } cases[] = {
      // Loopback: tens of microseconds, labels 0.002 ms apart.
      {{31, 45, 38, -1, 33}, false, 0.028, 0.048, 0.002},
      // A LAN: 0.2 to 0.9 ms.
      {{200, 900, 450}, false, 0.1, 1.0, 0.1},
      // Tens of milliseconds, and a lost ping that is not at 800.
      {{18'160, 31'077, -1, 37'339}, false, 16.0, 40.0, 2.0},
      // A flat line gets a band around it.
      {{50, 50, 50}, false, 0.047, 0.053, 0.001},
  };
  for (const auto& c : cases) {
    const PlotData d = Points(c.micros);
    const PreciseRange r = FitPreciseRange(PrecisePoints(d, 0, 100), c.withAverage, 350, 22);
    EXPECT_NEAR(r.min, c.min, 1e-9) << c.micros.front();
    EXPECT_NEAR(r.max, c.max, 1e-9) << c.micros.front();
    EXPECT_NEAR(r.step.step, c.step, 1e-12) << c.micros.front();
    // Every reply stands inside, and the bounds are whole steps.
    for (std::int64_t m : c.micros) {
      const double ms = static_cast<double>(m) / 1000.0;
      if (m >= 0) {
        EXPECT_TRUE(r.min < ms && ms < r.max);
      }
    }
    EXPECT_NEAR(std::remainder(r.min, r.step.step), 0, 1e-9);
    EXPECT_NEAR(std::remainder(r.max, r.step.step), 0, 1e-9);
  }
  // No reply: 0 to 1 ms.
  const PreciseRange none = FitPreciseRange(PrecisePoints(Points({-1, -1}), 0, 1), true, 350, 22);
  EXPECT_EQ(none.min, 0);
  EXPECT_EQ(none.max, 1);
}

TEST(FitPreciseRange, TakesTheAverageLineInWhenItIsShown) {
  // Earlier replies of 10 ms keep the running mean far above the window's
  // replies of 1 ms.
  std::vector<std::int64_t> micros(20, 10'000);
  micros.insert(micros.end(), 10, 1'000);
  const std::vector<PrecisePoint> points = PrecisePoints(Points(micros), 20, 29);
  EXPECT_LT(FitPreciseRange(points, false, 350, 22).max, 2);
  EXPECT_GT(FitPreciseRange(points, true, 350, 22).max, 7);
}

TEST(EdgeLabel, ThreeSignificantDigits) {
  const struct {
    std::int64_t micros;
    const char* text;
  } cases[] = {{17'920, "17.9"}, {19'968, "20"},      {31, "0.031"},       {1'024, "1.02"},
               {163'840, "164"}, {1'228'800, "1,229"}, {0, "0"},           {99'960, "100"},
               {2'000, "2"},     {500, "0.5"}};
  for (const auto& c : cases) EXPECT_EQ(EdgeLabel(c.micros), c.text) << c.micros;
}

}  // namespace
}  // namespace quorvel
