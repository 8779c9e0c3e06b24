#pragma once

#include <QImage>
#include <QSize>
#include <QString>

#include <functional>
#include <memory>
#include <string>

#include "base/status.h"
#include "graph/chartmodel.h"
#include "output/imagesize.h"
#include "output/imagetypes.h"
#include "run/timeformat.h"
#include "settings/settings.h"
#include "web/requesthandler.h"

class QObject;
class QPrinter;

namespace quorvel {

// The pictures of the graph: the render step shared by captures, Save As,
// the web image, the clipboard and the printer, and the writing of each.
// Everything is read from the Settings value and the chart at the moment an
// image is made; the on-screen size comes from `graphSize`.
//
// `settings` and `chart` must outlive it; the printer it keeps is a child of
// `printerOwner` (made on first use and kept, so that the choices made in
// the print dialogs stay in force). User-interface thread (the renderer
// needs the application's fonts).
class GraphOutput {
 public:
  GraphOutput(const Settings& settings, const ChartModel& chart, std::function<QSize()> graphSize,
              QObject* printerOwner);
  ~GraphOutput();

  // The graph drawn afresh into a new true-colour raster (Format_RGB32) at
  // the size the image-size rule gives `target`, grayed when "Convert to
  // grayscale" is on.
  Result<QImage> RenderGraphBitmap(OutputTarget target) const;
  // Writes `image` whole into `fileName` as `type` at the JPEG quality of
  // image files; the error carries the system's text.
  Status WriteImageFile(const QImage& image, ImageType type, const QString& fileName) const;
  // Capture Now: the graph into the capture folder under the axis label and
  // the time stamp of `now`, never over a file already there (the name
  // takes "-2", "-3" ... instead).
  Status CaptureNow(const LocalTime& now) const;
  // The web image drawn and encoded into a new buffer, in the chosen type,
  // JPEG at quality 100.
  RenderOutcome SaveTemp() const;
  // The graph on the window's printer; `screenDpi` scales it.
  Status Print(int screenDpi);
  // A job can be tried on the window's printer: an installed printer is
  // chosen, or a PDF file named.
  bool PrinterReady();
  QPrinter& Printer();

  // The capture folder names an existing directory.
  bool CaptureFolderExists() const;

 private:
  const Settings& m_settings;
  const ChartModel& m_chart;
  std::function<QSize()> m_graphSize;
  QObject* m_printerOwner;
  QObject* m_printerHolder = nullptr;  // a child of m_printerOwner, holding the printer
  QPrinter* m_printer = nullptr;
};

}  // namespace quorvel
