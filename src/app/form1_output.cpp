// Image output of the main window: the render step shared by captures,
// Save As, the web image, the clipboard and the printer; capture, Save As,
// the capture folder and size controls, the clipboard and printing.
#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>

#include "app/controls.h"
#include "app/dialogs.h"
#include "app/form1.h"
#include "app/settingkeys.h"
#include "app/printraster.h"
#include "graph/chartrenderer.h"
#include "output/grayscale.h"
#include "output/imagefilename.h"
#include "output/imagesize.h"
#include "output/writegraphimage.h"
#include "run/usererror.h"

namespace quorvel {

// A QObject so that the window's children take it with them.
class TForm1::PrinterHolder : public QObject {
 public:
  explicit PrinterHolder(QObject* parent) : QObject(parent), printer(QPrinter::HighResolution) {}
  QPrinter printer;
};

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

}  // namespace

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

bool TForm1::CaptureFolderExists() const {
  const QString folder = edFolder->text();
  return !folder.isEmpty() && QFileInfo(folder).isDir();
}

ImageType TForm1::ChosenImageType() const {
  return ImageTypeFromButtons(rbJPG->isChecked(), rbGIF->isChecked(), rbBMP->isChecked());
}

void TForm1::WriteImageFile(const QImage& image, ImageType type, const QString& fileName) {
  Q_ASSERT(image.format() == QImage::Format_RGB32);
  const RasterView raster{image.constBits(), image.width(), image.height(), image.bytesPerLine(),
                          PixelFormat::Xrgb32};
  const ImageResult written =
      WriteGraphImage(raster, type, ImageDestination::File(QFile::encodeName(fileName).toStdString()),
                      kFileJpegQuality);
  if (!written) throw UserError(written.error());
}

void TForm1::CaptureGraph() {
  // The minute of the press names the file, however long the render takes.
  const std::string stamp = FormatCaptureStamp(m_clock.Now());
  const QImage image = RenderGraphBitmap(OutputTarget::CapturedImages);
  const ImageType type = ChosenImageType();
  const std::string name = CaptureFileName(edFolder->text().toStdString(),
                                           edLabel->text().toStdString(), stamp, type);
  WriteImageFile(image, type, QString::fromStdString(name));
}

void TForm1::btnSaveClick() {
  Guarded([this] { CaptureGraph(); });
}

void TForm1::SaveAs1Click() {
  Guarded([this] {
    const ImageType offered = ChosenImageType();
    const std::optional<QString> fileName = m_dialogs->SaveFileName(
        this, QString::fromStdString(ExecutableFolder(m_executablePath)), QString(),
        QString::fromUtf8(kSavePictureFilter.data(),
                          static_cast<qsizetype>(kSavePictureFilter.size())),
        SavePictureFilterIndex(offered), QString::fromLatin1(ImageExtension(offered).data()));
    if (!fileName) return;
    // The type buttons decide the encoding, whatever the name's extension or
    // the dialog's file type says.
    const QImage image = RenderGraphBitmap(OutputTarget::CapturedImages);
    WriteImageFile(image, ChosenImageType(), *fileName);
  });
}

QString TForm1::GetFolder(QWidget* owner) {
  QString folder = edFolder->text();
  if (const std::optional<QString> chosen =
          m_dialogs->ChooseFolder(owner, QStringLiteral("Select folder"), folder)) {
    if (!chosen->isEmpty()) folder = *chosen;
  }
  return folder;
}

void TForm1::btnBrowseClick() {
  edFolder->setText(GetFolder(this));
  cbCapture->setEnabled(CaptureFolderExists());
}

void TForm1::edFolderChange() {
  const bool exists = CaptureFolderExists();
  btnSave->setEnabled(exists);
  cbCapture->setEnabled(exists);  // a disabled box keeps its check
}

void TForm1::cbCaptureClick() {
  imgNoise->setVisible(cbCapture->isChecked() && CaptureFolderExists());
}

void TForm1::rbPercentClick() {
  const bool percent = rbPercent->isChecked();
  const bool pixels = rbPixels->isChecked();
  spPercent->setEnabled(percent);
  Label3->setEnabled(percent);
  for (QWidget* w : {static_cast<QWidget*>(spGrWidth), static_cast<QWidget*>(spGrHeight),
                     static_cast<QWidget*>(Label16), static_cast<QWidget*>(Label17),
                     static_cast<QWidget*>(Label20)}) {
    w->setEnabled(pixels);
  }
}

void TForm1::spPercentChange() {
  const QSize graph = GraphSize();
  Label3->setText(QString::fromStdString(
      PercentSizeLabel(spPercent->Value(), ImageSize{graph.width(), graph.height()})));
  Label3->adjustSize();
}

void TForm1::btnCopyClick() {
  Guarded([this] {
    const QImage image = RenderGraphBitmap(OutputTarget::Clipboard);
    QGuiApplication::clipboard()->setImage(image);
  });
}

void TForm1::Copy2Click() { btnCopyClick(); }

TForm1::PrinterHolder& TForm1::Printer() {
  if (m_printerHolder == nullptr) m_printerHolder = new PrinterHolder(this);
  return *m_printerHolder;
}

void TForm1::PrintGraph() {
  const QImage image = RenderGraphBitmap(OutputTarget::Printer);
  QPrinter& printer = Printer().printer;
  if (const std::string reason = NoPrinterReason(printer); !reason.empty()) throw UserError(reason);
  printer.setDocName(QString());  // the job has no title
  if (!PrintRaster(printer, image, logicalDpiX())) {
    const QString where = printer.outputFormat() == QPrinter::PdfFormat ? printer.outputFileName()
                                                                       : printer.printerName();
    throw UserError("The print job could not be started on \"" + where.toStdString() + "\"");
  }
}

void TForm1::btnPrintClick() {
  Guarded([this] { PrintGraph(); });
}

void TForm1::Print1Click() {
  if (m_dialogs->Print(this, Printer().printer)) btnPrintClick();
}

void TForm1::PrinterSetup1Click() { m_dialogs->PrinterSetup(this, Printer().printer); }

void TForm1::ConnectOutputHandlers() {
  connect(btnSave, &QToolButton::clicked, this, &TForm1::btnSaveClick);
  connect(Save1, &QAction::triggered, this, &TForm1::btnSaveClick);
  connect(SaveAs1, &QAction::triggered, this, &TForm1::SaveAs1Click);
  connect(btnBrowse, &QPushButton::clicked, this, &TForm1::btnBrowseClick);
  connect(edFolder, &QLineEdit::textChanged, this, &TForm1::edFolderChange);
  connect(cbCapture, &QCheckBox::toggled, this, &TForm1::cbCaptureClick);
  for (QRadioButton* mode : {rbPercent, rbPixels}) {
    connect(mode, &QRadioButton::toggled, this, [this](bool checked) {
      if (checked) rbPercentClick();
    });
  }
  connect(spPercent, &SpinEdit::changed, this, &TForm1::spPercentChange);
  connect(btnCopy, &QToolButton::clicked, this, &TForm1::btnCopyClick);
  connect(Copy2, &QAction::triggered, this, &TForm1::Copy2Click);
  connect(btnPrint, &QToolButton::clicked, this, &TForm1::btnPrintClick);
  connect(Print1, &QAction::triggered, this, &TForm1::Print1Click);
  connect(PrinterSetup1, &QAction::triggered, this, &TForm1::PrinterSetup1Click);
}

}  // namespace quorvel
