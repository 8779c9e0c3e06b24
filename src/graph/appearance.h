#pragma once

#include "graph/colour.h"

namespace quorvel {

// The colours of the graph that have no control of their own to live in.
// The plot and average colours are stamped on each point as it is added;
// the other three are also applied to the chart's look.
struct GraphAppearance {
  Colour plot = kBlue;
  Colour average = kFuchsia;
  Colour back = kWhite;
  Colour border = kBtnFace;
  Colour grid = kGray;
};

}  // namespace quorvel
