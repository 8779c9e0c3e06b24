#include "graph/seriesstatistics.h"

#include <gtest/gtest.h>

#include "graph/pagecaption.h"

namespace quorvel {
namespace {

TEST(FormatStatNumber, OneDecimalWithThousandsSeparators) {
  const struct {
    double value;
    const char* text;
  } cases[] = {
      {85, "85.0"},          {1234.56, "1,234.6"},   {3000, "3,000.0"},
      {50.5, "50.5"},        {0, "0.0"},             {999.96, "1,000.0"},
      {1234567.26, "1,234,567.3"}, {2147483647, "2,147,483,647.0"},
      {-1234.5, "-1,234.5"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatStatNumber(c.value), c.text) << c.value;
}

TEST(FormatStatNumber, AtMostTenSignificantDigits) {
  EXPECT_EQ(FormatStatNumber(1234567890.56), "1,234,567,891.0");
}

TEST(FormatStatNumber, UsesTheGivenSeparators) {
  NumberFormat de{".", ","};
  EXPECT_EQ(FormatStatNumber(1234.56, de), "1.234,6");
}

TEST(StatisticsStep, NeedsTwoPoints) {
  PlotData d;
  d.AddPing(40, kBlue, 0);
  const StatisticsStepResult r = StatisticsStep(d, 40, true, kFuchsia, 0);
  EXPECT_EQ(r.captions, StatisticsCaptions{});
  EXPECT_EQ(r.captions.max, "Max. value: ");
  EXPECT_EQ(r.comparison, 40);
  EXPECT_EQ(d.AverageCount(), 0u);
}

TEST(StatisticsStep, FortyThenSixtyOne) {
  PlotData d;
  d.AddPing(40, kBlue, 0);
  StatisticsStep(d, 40, true, kFuchsia, 0);
  d.AddPing(61, kBlue, 1);
  const StatisticsStepResult r = StatisticsStep(d, 61, true, kFuchsia, 1);
  EXPECT_EQ(r.captions.max, "Max. value: 61.0");
  EXPECT_EQ(r.captions.min, "Min. value: 40.0");
  EXPECT_EQ(r.captions.avg, "Avg. value: 50.5");
  EXPECT_EQ(r.comparison, 50.5);
  ASSERT_EQ(d.AverageCount(), 1u);  // the first average stands at position 0
  EXPECT_EQ(d.Average(0).value, 50.5);
  EXPECT_EQ(d.Average(0).colour, kFuchsia);
  // Comparing the ping instead keeps the sample's own value.
  d.AddPing(10, kBlue, 2);
  EXPECT_EQ(StatisticsStep(d, 10, false, kFuchsia, 2).comparison, 10);
}

TEST(StatisticsStep, AFailedPingRaisesMaximumAndAverage) {
  PlotData d;
  for (int v : {20, 20, 3000, 20}) {
    d.AddPing(v, v == 3000 ? kRed : kBlue, 0);
  }
  const StatisticsCaptions c = CaptionsFor(d);
  EXPECT_EQ(c.max, "Max. value: 3,000.0");
  EXPECT_EQ(c.min, "Min. value: 20.0");
  EXPECT_EQ(c.avg, "Avg. value: 765.0");
}

TEST(PlotData, RunningFiguresMatchAWalkAndClearStartsOver) {
  PlotData d;
  double sum = 0;
  for (int i = 0; i < 1000; ++i) {
    const int v = (i * 7919) % 1013;
    d.AddPing(v, kBlue, 0);
    sum += v;
  }
  double max = d.Ping(0).value, min = max;
  for (std::size_t i = 0; i < d.PingCount(); ++i) {
    max = std::max<double>(max, d.Ping(i).value);
    min = std::min<double>(min, d.Ping(i).value);
  }
  EXPECT_EQ(d.PingMax(), max);
  EXPECT_EQ(d.PingMin(), min);
  EXPECT_EQ(d.PingSum(), sum);
  d.Clear();
  EXPECT_EQ(d.PingCount(), 0u);
  d.AddPing(5, kBlue, 0);
  EXPECT_EQ(d.PingMax(), 5);
  EXPECT_EQ(d.PingMin(), 5);
  EXPECT_EQ(d.PingSum(), 5);
}

TEST(PointLabel, TwoBlanksEachSide) {
  EXPECT_EQ(PointLabel(0), "  00:00:00  ");
  EXPECT_EQ(PointLabel(14 * 3600 + 5 * 60 + 9), "  14:05:09  ");
  EXPECT_EQ(PointLabel(86399), "  23:59:59  ");
}

TEST(PerPageCaption, ExtendedPrecisionRounding) {
  const struct {
    int interval, points;
    const char* text;
  } cases[] = {
      {10, 400, "(1 hr : 7 min per page)"},
      {2, 255, "(0 hr : 8 min per page)"},
      {3, 50, "(0 hr : 2 min per page)"},
      {1, 150, "(0 hr : 3 min per page)"},
      {1, 400, "(0 hr : 7 min per page)"},
      {2147383647, 10000, "(5964954575 hr : 0 min per page)"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PerPageCaption(c.interval, c.points), c.text) << c.interval << " x " << c.points;
  }
}

}  // namespace
}  // namespace quorvel
