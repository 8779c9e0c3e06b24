#include "graph/axisscale.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace quorvel {

double AxisMapping::ToPixel(double value) const {
  const double range = max - min;
  if (range == 0) return (from + to) / 2;
  return from + (value - min) / range * (to - from);
}

double AxisMapping::UnitsPerPixel() const {
  const double pixels = std::abs(to - from);
  if (max == min || pixels == 0) return 0;
  return (max - min) / pixels;
}

LabelStep ValueLabelStep(double range, double pixels, double minSpacing) {
  LabelStep s;
  if (!(range > 0) || !(pixels > 0)) return s;
  // Smallest step allowed by the spacing, then rounded up to 1, 2 or 5 x 10^k.
  const double wanted = range * std::max(minSpacing, 1.0) / pixels;
  int exponent = static_cast<int>(std::floor(std::log10(wanted)));
  double decade = std::pow(10.0, exponent);
  double step = 0;
  for (double m : {1.0, 2.0, 5.0, 10.0}) {
    if (m * decade >= wanted * (1 - 1e-12)) {
      step = m * decade;
      if (m == 10.0) ++exponent;
      break;
    }
  }
  s.step = step;
  s.decimals = exponent < 0 ? -exponent : 0;
  return s;
}

std::vector<double> ValueLabels(double min, double max, const LabelStep& step) {
  std::vector<double> values;
  if (step.step <= 0) {
    values.push_back(min);
    return values;
  }
  constexpr int kMost = 1000;
  const double first = std::ceil(min / step.step - 1e-9);
  for (int i = 0; i < kMost; ++i) {
    double v = (first + i) * step.step;
    if (v > max + step.step * 1e-9) break;
    if (std::abs(v) < step.step * 1e-9) v = 0;  // no "-0"
    values.push_back(v);
  }
  return values;
}

std::string FormatAxisValue(double value, int decimals) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
  std::string text = buffer;
  std::string out;
  std::size_t i = 0;
  if (!text.empty() && text[0] == '-') {
    out += '-';
    i = 1;
  }
  const std::size_t dot = text.find('.');
  const std::size_t wholeEnd = dot == std::string::npos ? text.size() : dot;
  for (std::size_t k = i; k < wholeEnd; ++k) {
    if (k > i && (wholeEnd - k) % 3 == 0) out += ',';
    out += text[k];
  }
  out += text.substr(wholeEnd);
  if (out == "-0") out = "0";
  return out;
}

}  // namespace quorvel
