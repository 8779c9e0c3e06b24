#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QRect>
#include <QSize>

#include "graph/axisscale.h"
#include "graph/chartmodel.h"

class QPainter;
class QPalette;

namespace quorvel {

// Where the chart puts its plot at a given size: the plot area (back wall),
// the time window mapped onto x pixels (1 % to 98 % of the plot width) and
// the vertical range mapped onto y pixels (99 % to 1 % of the plot height).
// The plot is empty when the size leaves no room for it.
struct ChartGeometry {
  QRect plot;
  AxisMapping bottom;
  AxisMapping left;
};

// A colour as Qt paints it (system colours resolved), and back.
QColor ToQColor(Colour c);
Colour FromQColor(const QColor& c);

// The chart's colours from a desktop palette: the plot area on the base
// colour, the panel on the window colour, the texts in the text colour and
// the grid between base and text.
ChartPalette ChartPaletteOf(const QPalette& palette);

// A font as Qt draws it: sized in pixels at 96 pixels per inch (what the
// renderer draws, the same at every scale), or in points (what the font
// dialog shows); and the dialog's answer back, with `colour` kept.
enum class FontSize { Pixels, Points };
QFont ToQFont(const FontSpec& spec, FontSize size = FontSize::Pixels);
FontSpec FromQFont(const QFont& font, Colour colour);

// Draws the chart: the same code serves the screen and every raster made of
// the graph. A raster is a fresh layout at its own size (fonts keep their
// sizes; margins are percentages, so the plot area grows or shrinks), never
// a scaled copy of the screen.
//
// Only the points inside the time window, plus the one just before it, are
// visited, so the cost of a drawing does not grow with the length of a run.
//
// Needs a QGuiApplication (fonts). Thread: the thread that owns `model` (the
// main window's).
class ChartRenderer {
 public:
  static ChartGeometry Geometry(QSize size, const ChartModel& model);
  // Draws the whole chart into the rectangle (0, 0) - size of `painter`.
  static void Draw(QPainter& painter, QSize size, const ChartModel& model);
  // A new true-colour raster (QImage::Format_RGB32) of exactly that size,
  // owned by the caller. An empty size gives a null image.
  static QImage Render(QSize size, const ChartModel& model);
};

}  // namespace quorvel
