#pragma once

namespace quorvel {

// How many printer dots one screen pixel of the graph becomes, across and
// down.
struct PrintScaleFactors {
  int x = 0;
  int y = 0;

  friend bool operator==(const PrintScaleFactors&, const PrintScaleFactors&) = default;
};

// Printer resolution divided by the screen's, each way, in whole numbers
// with the remainder dropped: 600 dpi at 96 ppi is 6 (not 6.25), and a
// printer coarser than the screen gets 0, so nothing is drawn. A screen
// resolution below 1 counts as 96, the usual figure.
PrintScaleFactors PrintScale(int printerDpiX, int printerDpiY, int screenDpi);

}  // namespace quorvel
