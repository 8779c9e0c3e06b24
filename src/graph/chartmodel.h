#pragma once

#include <cstdint>
#include <string>

#include "graph/axiswindow.h"
#include "graph/colour.h"
#include "graph/plotdata.h"
#include "stats/targetfigures.h"

namespace quorvel {

// A font as the settings keep it: size in points (at 96 pixels per inch),
// style bits bold 1, italic 2, underline 4, strike-out 8.
inline constexpr int kFontBold = 1;
inline constexpr int kFontItalic = 2;
inline constexpr int kFontUnderline = 4;
inline constexpr int kFontStrikeOut = 8;

struct FontSpec {
  std::string name = "Arial";
  int pointSize = 10;
  int style = 0;
  Colour colour = kBlack;
  friend bool operator==(const FontSpec&, const FontSpec&) = default;
};

// The look of the chart as the user sets it.
struct ChartLook {
  std::string title;                          // the composed title line
  std::string leftTitle = "Ping - milliseconds";  // vertical-axis title
  FontSpec titleFont;
  Colour axesText = kBlack;   // vertical-axis title and the labels of both axes
  Colour grid = kGray;
  Colour back = kWhite;       // plot area
  Colour border = kBtnFace;   // panel around the plot area
  bool verticalLabels = false;  // time labels at 90 degrees, bottom margin 1 %
  friend bool operator==(const ChartLook&, const ChartLook&) = default;
};

// Everything the chart draws: the points of the three series, the window of
// the time axis, the vertical range and which series are shown. Owned by the
// main window and changed on its thread only. Whoever changes it calls
// Changed(), so that views and cached images know they are stale.
struct ChartModel {
  PlotData data;
  AxisRange bottom;           // time window, in point positions
  AxisRange left{0, 60};      // vertical range, in milliseconds
  bool lineShown = true;      // Series1: the pings as a line
  bool areaShown = false;     // Series2: the pings filled down to the axis
  bool averageShown = true;   // Series3: the running average, always as steps
  bool stairs = false;        // Series1 and Series2 drawn as steps, else ramps
  ChartLook look;

  // The figures of the address measured: its run statistics are fed and
  // cleared with the ping points.
  TargetFigures figures;
  // Draw the distribution of the reply times instead of the time graph, its
  // bars in `barColour` and the lost pings in red.
  bool distribution = false;
  Colour barColour = kBlue;

  std::uint64_t version = 0;
  void Changed() { ++version; }
};

}  // namespace quorvel
