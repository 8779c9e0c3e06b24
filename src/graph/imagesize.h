#pragma once

#include <string>

namespace quorvel {

// trunc(percent / 100 x pixels), the quotient and then the product each
// rounded to extended precision (64-bit significand) before truncation, so
// that 21 % of 300 is 62 and 57 % of 100 is 57.
int PercentOfPixels(int percent, int pixels);

// The captions of the image sizes on the Image Capture page, for a graph of
// width x height on screen: "Items not checked will use screen graph size
// (w x h)" and the percent size "(w x h)".
std::string ScreenSizeCaption(int width, int height);
std::string PercentSizeCaption(int percent, int width, int height);

}  // namespace quorvel
