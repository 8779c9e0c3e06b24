// Image output of the main window: the render step shared by captures,
// Save As, the web image, the clipboard and the printer.
#include <QCheckBox>
#include <QImage>
#include <QRadioButton>

#include "app/controls.h"
#include "app/form1.h"
#include "graph/chartrenderer.h"
#include "output/grayscale.h"
#include "output/imagesize.h"
#include "run/usererror.h"

namespace quorvel {

QImage TForm1::RenderGraphBitmap(OutputTarget target) {
  ImageSizeSettings settings;
  settings.mode = rbPixels->isChecked() && !rbPercent->isChecked() ? SizeMode::Pixels
                                                                    : SizeMode::Percent;
  settings.percent = spPercent->Value();
  settings.pixelWidth = spGrWidth->Value();
  settings.pixelHeight = spGrHeight->Value();
  settings.capturedImages = cbCaptured->isChecked();
  settings.webImage = cbHTTP->isChecked();
  settings.clipboard = cbClip->isChecked();
  settings.printer = cbPrint->isChecked();

  const QSize graph = GraphSize();
  const ImageSize size = ImageSizeFor(settings, target, ImageSize{graph.width(), graph.height()});
  if (size.width < 1 || size.height < 1) {
    throw UserError("The graph has no area to draw (" + std::to_string(size.width) + " x " +
                    std::to_string(size.height) + ")");
  }
  // The screen's graph is left as it is: the raster is a fresh layout of its
  // own size, so nothing on screen is resized or flickers.
  QImage image = ChartRenderer::Render(QSize(size.width, size.height), m_chart);
  if (image.isNull()) throw UserError("Not enough memory to draw the graph");
  if (cbGray->isChecked()) {
    ConvertBitmapToGrayscale1(MutableRasterView{image.bits(), image.width(), image.height(),
                                                image.bytesPerLine(), PixelFormat::Xrgb32});
  }
  return image;
}

void TForm1::ConnectOutputHandlers() {}

}  // namespace quorvel
