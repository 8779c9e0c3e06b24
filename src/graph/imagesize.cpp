#include "graph/imagesize.h"

#include <cmath>

namespace quorvel {

static_assert(sizeof(long double) > sizeof(double),
              "the image size needs extended precision (x87 long double)");

int PercentOfPixels(int percent, int pixels) {
  // volatile keeps each step rounded to long double.
  volatile long double quotient = static_cast<long double>(percent) / 100.0L;
  volatile long double product = quotient * static_cast<long double>(pixels);
  return static_cast<int>(std::truncl(product));
}

}  // namespace quorvel
