#include "graph/colour.h"

#include <array>

namespace quorvel {

namespace {

// System colours 0..30 of the classic desktop scheme, as 0x00BBGGRR.
constexpr std::array<Colour, 31> kSystemColours = {
    RgbColour(200, 200, 200),  //  0 scroll bar
    RgbColour(0, 0, 0),        //  1 desktop background
    RgbColour(153, 180, 209),  //  2 active caption
    RgbColour(191, 205, 219),  //  3 inactive caption
    RgbColour(240, 240, 240),  //  4 menu
    RgbColour(255, 255, 255),  //  5 window
    RgbColour(100, 100, 100),  //  6 window frame
    RgbColour(0, 0, 0),        //  7 menu text
    RgbColour(0, 0, 0),        //  8 window text
    RgbColour(0, 0, 0),        //  9 caption text
    RgbColour(180, 180, 180),  // 10 active border
    RgbColour(244, 247, 252),  // 11 inactive border
    RgbColour(171, 171, 171),  // 12 application workspace
    RgbColour(0, 120, 215),    // 13 highlight
    RgbColour(255, 255, 255),  // 14 highlight text
    RgbColour(240, 240, 240),  // 15 button face
    RgbColour(160, 160, 160),  // 16 button shadow
    RgbColour(109, 109, 109),  // 17 gray text
    RgbColour(0, 0, 0),        // 18 button text
    RgbColour(0, 0, 0),        // 19 inactive caption text
    RgbColour(255, 255, 255),  // 20 button highlight
    RgbColour(105, 105, 105),  // 21 3D dark shadow
    RgbColour(227, 227, 227),  // 22 3D light
    RgbColour(0, 0, 0),        // 23 info text
    RgbColour(255, 255, 225),  // 24 info background
    RgbColour(0, 0, 0),        // 25 (unused)
    RgbColour(0, 102, 204),    // 26 hot light
    RgbColour(185, 209, 234),  // 27 gradient active caption
    RgbColour(215, 228, 242),  // 28 gradient inactive caption
    RgbColour(0, 120, 215),    // 29 menu highlight
    RgbColour(240, 240, 240),  // 30 menu bar
};

}  // namespace

Colour ResolveColour(Colour c) {
  if (IsSystemColour(c)) {
    const unsigned index = c & 0xFFu;
    return index < kSystemColours.size() ? kSystemColours[index] : kBlack;
  }
  if (c & 0xFF000000u) return kBlack;  // clNone, clDefault and other markers
  return c;
}

}  // namespace quorvel
