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

std::string ScreenSizeCaption(int width, int height) {
  return "Items not checked will use screen graph size (" + std::to_string(width) + " x " +
         std::to_string(height) + ")";
}

std::string PercentSizeCaption(int percent, int width, int height) {
  return "(" + std::to_string(PercentOfPixels(percent, width)) + " x " +
         std::to_string(PercentOfPixels(percent, height)) + ")";
}

}  // namespace quorvel
