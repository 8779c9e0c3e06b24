#pragma once

namespace quorvel {

// Decides which time labels of the bottom axis are drawn. Labels are offered
// in position order with the pixel position of their centre and their size
// along the axis (text width for horizontal labels, text height times lines
// for vertical ones). The first is always drawn. A later label claims
// (s + trunc(0.6 s)) / 2 on each side of its centre (0.6 is 0.02 x a label
// separation of 30 %) and is drawn only when that leaves room beside the
// half extent of the last label drawn.
class LabelThinning {
 public:
  // Whether the label is drawn; a drawn label becomes the one later labels
  // keep their distance from.
  bool Take(int centre, int size);

 private:
  bool any_ = false;
  int lastCentre_ = 0;
  int lastHalf_ = 0;
};

}  // namespace quorvel
