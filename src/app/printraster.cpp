#include "app/printraster.h"

#include <QImage>
#include <QPaintDevice>
#include <QPainter>

#include "output/printscale.h"

namespace quorvel {

bool PrintRaster(QPaintDevice& device, const QImage& raster, int screenDpi) {
  QPainter painter;
  if (!painter.begin(&device)) return false;
  const PrintScaleFactors scale = PrintScale(device.logicalDpiX(), device.logicalDpiY(), screenDpi);
  if (scale.x > 0 && scale.y > 0) {
    // Each screen pixel becomes a block of whole dots: no smoothing.
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(QRect(0, 0, scale.x * raster.width(), scale.y * raster.height()), raster);
  }
  painter.end();  // ends the job, drawn or not
  return true;
}

}  // namespace quorvel
