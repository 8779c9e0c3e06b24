#pragma once

class QImage;
class QPaintDevice;

namespace quorvel {

// Prints `raster` as one page on `device` (the window's printer; any paint
// device will do): begins the job, draws the raster stretched to
// PrintScale(device dpi, screenDpi) printer dots per screen pixel from the
// top-left corner of the printable area (no margin, no centring, no fitting
// to the page, nothing scaled down), and ends the job, which prints the page;
// a factor of 0 prints an empty page. False when the job could not begin;
// nothing is drawn then. The device must not be painted on elsewhere
// meanwhile. User-interface thread.
bool PrintRaster(QPaintDevice& device, const QImage& raster, int screenDpi);

}  // namespace quorvel
