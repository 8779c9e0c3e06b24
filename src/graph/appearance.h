#pragma once

#include <cstdint>
#include <string>

#include "graph/chartmodel.h"
#include "graph/colour.h"

namespace quorvel {

// The look of the graph as the user sets it on the "Graph Axes " and "Graph
// Style" pages: what the window's controls hold, kept here as plain values
// so that the chart, the renders and the settings file read them without
// the controls. Radio pairs are kept one flag per button, as the settings
// file stores them (a file may mark none of a pair).
struct GraphAppearance {
  std::string title = "Quorvel of ";   // edTitle, as shown (blanks, not "^")
  bool appendAddress = true;          // cbAppend
  bool appendInterval = true;         // cbAppInterval
  std::string label = "Ping - milliseconds";  // edLabel: the vertical-axis title
  std::int32_t verticalMax = 60;      // spMax
  std::int32_t verticalMin = 0;       // spMin
  bool line = true;                   // rbLine
  bool area = false;                  // rbArea
  bool steps = false;                 // rbSteps
  bool ramp = true;                   // rbRamp
  bool plotAverage = true;            // cbPlotAvg
  bool verticalLabels = false;        // rbVertical
  bool horizontalLabels = true;       // rbHorizontal
  // The colours. The plot and average colours are stamped on each point as
  // it is added; the others are applied to the chart's look.
  Colour plot = kBlue;
  Colour average = kFuchsia;
  Colour back = kWhite;
  Colour border = kBtnFace;
  Colour grid = kGray;
  Colour axesText = kBlack;           // the axis titles and labels
  FontSpec titleFont;

  friend bool operator==(const GraphAppearance&, const GraphAppearance&) = default;
};

}  // namespace quorvel
