#pragma once

namespace quorvel {

// trunc(percent / 100 x pixels), the quotient and then the product each
// rounded to extended precision (64-bit significand) before truncation, so
// that 21 % of 300 is 62 and 57 % of 100 is 57.
int PercentOfPixels(int percent, int pixels);

}  // namespace quorvel
