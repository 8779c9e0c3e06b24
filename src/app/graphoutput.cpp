#include "app/graphoutput.h"

#include <QFile>
#include <QFileInfo>
#include <QObject>
#include <QPrinter>

#include <memory>
#include <vector>

#include "app/printraster.h"
#include "base/fileio.h"
#include "graph/chartrenderer.h"
#include "output/grayscale.h"
#include "output/imagefilename.h"
#include "output/writegraphimage.h"

namespace quorvel {

namespace {

const char* const kNoPrinter = "No printer is installed or selected";

// The reason no job can go to `printer`, empty when one can be tried. Where
// no printer is installed, a new printer writes PDF to no file.
std::string NoPrinterReason(const QPrinter& printer) {
  if (printer.outputFormat() == QPrinter::PdfFormat) {
    return printer.outputFileName().isEmpty() ? kNoPrinter : std::string();
  }
  return !printer.isValid() || printer.printerName().isEmpty() ? kNoPrinter : std::string();
}

RasterView ViewOf(const QImage& image) {
  return RasterView{image.constBits(), image.width(), image.height(),
                    image.bytesPerLine(), PixelFormat::Xrgb32};
}

// Owns the printer: a QObject so that the window's children take it along.
class PrinterHolder : public QObject {
 public:
  explicit PrinterHolder(QObject* parent) : QObject(parent), printer(QPrinter::HighResolution) {}
  QPrinter printer;
};

}  // namespace

GraphOutput::GraphOutput(const Settings& settings, const ChartModel& chart,
                         std::function<QSize()> graphSize, QObject* printerOwner)
    : m_settings(settings), m_chart(chart), m_graphSize(std::move(graphSize)),
      m_printerOwner(printerOwner) {}

GraphOutput::~GraphOutput() = default;

Result<QImage> GraphOutput::RenderGraphBitmap(OutputTarget target) const {
  const QSize graph = m_graphSize();
  const ImageSize size =
      ImageSizeFor(m_settings.image.SizeRule(), target, ImageSize{graph.width(), graph.height()});
  if (size.width < 1 || size.height < 1) {
    return Status::Error("The graph has no area to draw (" + std::to_string(size.width) + " x " +
                         std::to_string(size.height) + ")");
  }
  // The screen's graph is left as it is: the raster is a fresh layout of its
  // own size, so nothing on screen is resized or flickers.
  QImage image = ChartRenderer::Render(QSize(size.width, size.height), m_chart);
  if (image.isNull()) return Status::Error("Not enough memory to draw the graph");
  if (m_settings.image.gray) {
    ConvertBitmapToGrayscale1(MutableRasterView{image.bits(), image.width(), image.height(),
                                                image.bytesPerLine(),
                                                PixelFormat::Xrgb32});
  }
  return image;
}

Status GraphOutput::WriteImageFile(const QImage& image, ImageType type,
                                   const QString& fileName) const {
  return WriteGraphImage(ViewOf(image), type,
                         ImageDestination::File(QFile::encodeName(fileName).toStdString()),
                         kFileJpegQuality);
}

Status GraphOutput::CaptureNow(const LocalTime& now) const {
  // The minute of the press names the file, however long the render takes.
  const std::string stamp = FormatCaptureStamp(now);
  const Result<QImage> image = RenderGraphBitmap(OutputTarget::CapturedImages);
  if (!image) return image.status();
  const ImageType type = m_settings.image.Type();
  const std::string name =
      CaptureFileName(m_settings.run.captureFolder, m_settings.graph.label, stamp, type);
  // A capture never replaces a file: a second one within the minute is
  // written with "-2" before its extension, and so on.
  std::vector<std::uint8_t> bytes;
  if (Status encoded = EncodeImage(ViewOf(image.value()), type, kFileJpegQuality, bytes); !encoded) {
    return encoded;
  }
  const std::string path = QFile::encodeName(QString::fromStdString(name)).toStdString();
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (const std::error_code error = WriteNewFile(path, text)) {
    return Status::Error("Cannot create file \"" + path + "\". " + error.message());
  }
  return Status::Ok();
}

RenderOutcome GraphOutput::SaveTemp() const {
  const Result<QImage> image = RenderGraphBitmap(OutputTarget::WebImage);
  if (!image) return RenderOutcome::Failed(image.status().message());
  std::vector<std::uint8_t> buffer;
  const Status written = WriteGraphImage(ViewOf(image.value()), m_settings.image.Type(),
                                         ImageDestination::Memory(buffer), kWebJpegQuality);
  if (!written) return RenderOutcome::Failed(written.message());
  return RenderOutcome::Ok(std::make_shared<const std::string>(buffer.begin(), buffer.end()));
}

QPrinter& GraphOutput::Printer() {
  if (m_printer == nullptr) {
    auto* holder = new PrinterHolder(m_printerOwner);
    m_printerHolder = holder;
    m_printer = &holder->printer;
  }
  return *m_printer;
}

Status GraphOutput::Print(int screenDpi) {
  const Result<QImage> image = RenderGraphBitmap(OutputTarget::Printer);
  if (!image) return image.status();
  QPrinter& printer = Printer();
  if (const std::string reason = NoPrinterReason(printer); !reason.empty()) {
    return Status::Error(reason);
  }
  printer.setDocName(QString());  // the job has no title
  if (!PrintRaster(printer, image.value(), screenDpi)) {
    const QString where = printer.outputFormat() == QPrinter::PdfFormat ? printer.outputFileName()
                                                                       : printer.printerName();
    return Status::Error("The print job could not be started on \"" + where.toStdString() + "\"");
  }
  return Status::Ok();
}

bool GraphOutput::PrinterReady() { return NoPrinterReason(Printer()).empty(); }

bool GraphOutput::CaptureFolderExists() const {
  const QString folder = QString::fromStdString(m_settings.run.captureFolder);
  return !folder.isEmpty() && QFileInfo(folder).isDir();
}

}  // namespace quorvel
