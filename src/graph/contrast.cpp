#include "graph/contrast.h"

#include <cmath>
#include <utility>

namespace quorvel {

namespace {

double Linear(int channel) {
  const double c = channel / 255.0;
  return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

Rgb Mix(Rgb from, Rgb to, double t) {
  auto channel = [t](int a, int b) {
    return static_cast<int>(std::lround(a + (b - a) * t));
  };
  return {channel(from.r, to.r), channel(from.g, to.g), channel(from.b, to.b)};
}

}  // namespace

double RelativeLuminance(Rgb colour) {
  return 0.2126 * Linear(colour.r) + 0.7152 * Linear(colour.g) + 0.0722 * Linear(colour.b);
}

double ContrastRatio(Rgb a, Rgb b) {
  double la = RelativeLuminance(a);
  double lb = RelativeLuminance(b);
  if (la < lb) std::swap(la, lb);
  return (la + 0.05) / (lb + 0.05);
}

Rgb ReadableOn(Rgb wanted, Rgb background, double minimum) {
  if (ContrastRatio(wanted, background) >= minimum) return wanted;
  const Rgb white{255, 255, 255};
  const Rgb black{0, 0, 0};
  // The least mix towards white or towards black that reaches the minimum
  // (the contrast need not grow steadily along a mix that passes the
  // background's own lightness, so each step is tried).
  for (int step = 1; step <= 255; ++step) {
    for (const Rgb& end : {white, black}) {
      const Rgb mixed = Mix(wanted, end, step / 255.0);
      if (ContrastRatio(mixed, background) >= minimum) return mixed;
    }
  }
  return ContrastRatio(white, background) >= ContrastRatio(black, background) ? white : black;
}

}  // namespace quorvel
