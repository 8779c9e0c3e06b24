#include "output/printscale.h"

namespace quorvel {

PrintScaleFactors PrintScale(int printerDpiX, int printerDpiY, int screenDpi) {
  const int screen = screenDpi >= 1 ? screenDpi : 96;
  // A resolution below 0 would scale by a negative number: treat it as 0.
  const int x = printerDpiX > 0 ? printerDpiX : 0;
  const int y = printerDpiY > 0 ? printerDpiY : 0;
  return PrintScaleFactors{x / screen, y / screen};
}

}  // namespace quorvel
