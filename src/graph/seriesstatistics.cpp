#include "graph/seriesstatistics.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace quorvel {

std::string FormatStatNumber(double value, const NumberFormat& format) {
  if (!std::isfinite(value)) return std::to_string(value);
  // Ten significant digits first, then one decimal place.
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.9e", value);
  const double rounded = std::strtod(buffer, nullptr);
  std::snprintf(buffer, sizeof buffer, "%.1f", rounded);

  std::string_view text = buffer;
  std::string out;
  if (!text.empty() && text.front() == '-') {
    out += '-';
    text.remove_prefix(1);
  }
  const std::size_t dot = text.find('.');
  const std::string_view whole = text.substr(0, dot);
  for (std::size_t i = 0; i < whole.size(); ++i) {
    if (i > 0 && (whole.size() - i) % 3 == 0) out += format.groupSeparator;
    out += whole[i];
  }
  out += format.decimalPoint;
  out += text.substr(dot + 1);
  if (out == "-0" + format.decimalPoint + "0") out.erase(0, 1);
  return out;
}

StatisticsCaptions CaptionsFor(const PlotData& data, const NumberFormat& format) {
  StatisticsCaptions c;
  if (data.PingCount() < 2) return c;
  const double average = data.PingSum() / static_cast<double>(data.PingCount());
  c.max += FormatStatNumber(data.PingMax(), format);
  c.min += FormatStatNumber(data.PingMin(), format);
  c.avg += FormatStatNumber(average, format);
  return c;
}

StatisticsStepResult StatisticsStep(PlotData& data, std::int32_t value, bool compareAverage,
                                    Colour averageColour, std::uint32_t time,
                                    const NumberFormat& format) {
  StatisticsStepResult r;
  r.comparison = value;
  r.captions = CaptionsFor(data, format);
  if (data.PingCount() < 2) return r;
  const double average = data.PingSum() / static_cast<double>(data.PingCount());
  data.AddAverage(average, averageColour, time);
  if (compareAverage) r.comparison = average;
  return r;
}

std::string PointLabel(std::uint32_t secondsOfDay) {
  const unsigned s = secondsOfDay % 86400u;
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "  %02u:%02u:%02u  ", s / 3600, (s / 60) % 60, s % 60);
  return buffer;
}

}  // namespace quorvel
