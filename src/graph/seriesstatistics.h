#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "graph/colour.h"
#include "graph/plotdata.h"

namespace quorvel {

// The number format of the statistics captions: thousands separators and
// exactly one decimal, at most 10 significant digits (85 -> "85.0",
// 1234.56 -> "1,234.6"). The separators are the desktop's.
struct NumberFormat {
  std::string groupSeparator = ",";
  std::string decimalPoint = ".";
};
std::string FormatStatNumber(double value, const NumberFormat& format = {});

// The texts of the three statistics items of the graph menu, in menu order.
struct StatisticsCaptions {
  std::string max = "Max. value: ";
  std::string avg = "Avg. value: ";
  std::string min = "Min. value: ";
  friend bool operator==(const StatisticsCaptions&, const StatisticsCaptions&) = default;
};

// Captions for the ping points: the bare labels with fewer than two points.
StatisticsCaptions CaptionsFor(const PlotData& data, const NumberFormat& format = {});

struct StatisticsStepResult {
  StatisticsCaptions captions;
  double comparison = 0;  // what the log compares with its threshold
};

// The statistics step of a plotted tick for the sample `value` just added.
// From the second ping point on it adds the running average, in
// `averageColour` at `time`, to the average series, and the comparison value
// becomes that average when `compareAverage` is set.
StatisticsStepResult StatisticsStep(PlotData& data, std::int32_t value, bool compareAverage,
                                    Colour averageColour, std::uint32_t time,
                                    const NumberFormat& format = {});

// "  hh:mm:ss  ": the label of a point added `secondsOfDay` after midnight.
std::string PointLabel(std::uint32_t secondsOfDay);

}  // namespace quorvel
