#pragma once

#include <QImage>

// A graph raster as the program draws one: gray frame, title and axis
// labels, white plot area with a dotted grid, a blue ping line with a few
// red lost pings, and the fuchsia average in stairs. Needs a QGuiApplication.
QImage DrawBenchChart(int width, int height, unsigned seed);
