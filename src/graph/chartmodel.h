#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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

// The desktop's colours that stand in for the look's own while the chart
// follows the desktop: the plot area, the panel around it, the grid, and
// every text (axis titles, labels and the chart title).
struct ChartPalette {
  Colour back = kWhite;
  Colour border = kBtnFace;
  Colour grid = kGray;
  Colour text = kBlack;
  friend bool operator==(const ChartPalette&, const ChartPalette&) = default;
};

// Where an alert was raised or cleared: at the ping point of that position.
struct AlertMark {
  std::size_t point = 0;
  bool raised = true;
  friend bool operator==(const AlertMark&, const AlertMark&) = default;
};

// The colours of the alert marks.
inline constexpr Colour kAlertRaisedColour = RgbColour(255, 128, 0);
inline constexpr Colour kAlertClearedColour = RgbColour(0, 160, 0);

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
  // The Precise Scale view (graph/precisescale.h): the reply times on a
  // vertical range fitted to them, instead of whole milliseconds on `left`.
  bool precise = false;
  // While set, these colours replace those of `look`, and the series are
  // drawn in colours readable on its background.
  std::optional<ChartPalette> palette;
  // Alerts raised and cleared, ascending by point; the owner empties them
  // with the points.
  std::vector<AlertMark> alertMarks;

  // The look as drawn: `look` with the palette's colours, when there is one.
  ChartLook DrawnLook() const;

  std::uint64_t version = 0;
  void Changed() { ++version; }
};

}  // namespace quorvel
