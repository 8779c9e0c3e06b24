#pragma once

namespace quorvel {

// Colours that stay readable on the desktop's palette, by the WCAG 2
// contrast rules: the window's texts, and the chart's series while it
// follows the desktop's colours. Plain functions; any thread.

struct Rgb {
  int r = 0, g = 0, b = 0;  // 0..255 each, sRGB
  bool operator==(const Rgb&) const = default;
};

// Relative luminance, 0 (black) to 1 (white).
double RelativeLuminance(Rgb colour);
// (L1 + 0.05) / (L2 + 0.05) with L1 the lighter: 1 to 21.
double ContrastRatio(Rgb a, Rgb b);

// The contrast ratio text needs against its background, and that of lines
// and marks (WCAG's non-text contrast).
inline constexpr double kReadableContrast = 4.5;
inline constexpr double kGraphicsContrast = 3.0;

// `wanted` where it reaches `minimum` against `background`; else `wanted`
// mixed with white (on a dark background) or black (on a light one), just
// enough to reach it, so that the hue stays recognisable: the blue captions
// become a light blue on a dark window. Where even white or black falls
// short, that one.
Rgb ReadableOn(Rgb wanted, Rgb background, double minimum = kReadableContrast);

}  // namespace quorvel
