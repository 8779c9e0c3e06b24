#pragma once

#include <cstdint>

namespace quorvel {

// A colour as the settings file and the graph keep it: 0x00BBGGRR for an
// ordinary colour (red in the low byte), 0xFF0000nn for the desktop's system
// colour number nn, plus the two markers clNone and clDefault.
using Colour = std::uint32_t;

inline constexpr Colour kColourNone = 0x1FFFFFFFu;
inline constexpr Colour kColourDefault = 0x20000000u;
inline constexpr Colour kSystemColourFlag = 0xFF000000u;

inline constexpr Colour RgbColour(unsigned r, unsigned g, unsigned b) {
  return (r & 0xFFu) | ((g & 0xFFu) << 8) | ((b & 0xFFu) << 16);
}
inline constexpr unsigned RedOf(Colour c) { return c & 0xFFu; }
inline constexpr unsigned GreenOf(Colour c) { return (c >> 8) & 0xFFu; }
inline constexpr unsigned BlueOf(Colour c) { return (c >> 16) & 0xFFu; }
inline constexpr bool IsSystemColour(Colour c) { return (c & 0xFF000000u) == kSystemColourFlag; }

inline constexpr Colour kRed = RgbColour(255, 0, 0);
inline constexpr Colour kBlue = RgbColour(0, 0, 255);
inline constexpr Colour kFuchsia = RgbColour(255, 0, 255);
inline constexpr Colour kWhite = RgbColour(255, 255, 255);
inline constexpr Colour kBlack = RgbColour(0, 0, 0);
inline constexpr Colour kGray = RgbColour(128, 128, 128);
inline constexpr Colour kMaroon = RgbColour(128, 0, 0);
inline constexpr Colour kBtnFace = kSystemColourFlag | 15u;

// The plain 0x00BBGGRR value a colour stands for on this desktop: system
// colours resolve through a fixed table of the classic desktop scheme, the
// markers to black.
Colour ResolveColour(Colour c);

}  // namespace quorvel
