#pragma once

#include <QImage>
#include <QSize>

#include "graph/chartmodel.h"

class QPainter;

namespace quorvel {

// Draws the chart: the same code serves the screen and every raster made of
// the graph. A raster is a fresh layout at its own size (fonts keep their
// sizes; the plot area grows or shrinks), never a scaled copy of the screen.
//
// Thread: the thread that owns `model` (the main window's).
class ChartRenderer {
 public:
  // Draws the whole chart into the rectangle (0, 0) - size of `painter`.
  static void Draw(QPainter& painter, QSize size, const ChartModel& model);
  // A new true-colour raster (QImage::Format_RGB32) of exactly that size.
  static QImage Render(QSize size, const ChartModel& model);
};

}  // namespace quorvel
