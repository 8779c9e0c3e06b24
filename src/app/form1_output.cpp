// Image output of the main window: capture, Save As, the capture folder and
// size controls, the clipboard and printing, the distribution view and the
// data export.
#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPrinter>
#include <QToolButton>

#include <span>

#include "app/controls.h"
#include "app/dialogs.h"
#include "app/form1.h"
#include "app/graphoutput.h"
#include "base/fileio.h"
#include "graph/sampleexport.h"
#include "output/imagefilename.h"
#include "output/imagesize.h"
#include "settings/settingkeys.h"

namespace quorvel {

namespace {

constexpr char kExportFilter[] = "CSV File (*.csv)|*.csv|JSON Lines File (*.jsonl)|*.jsonl";

}  // namespace

void TForm1::btnSaveClick() {
  const Status captured = m_output->CaptureNow(m_clock.Now());
  if (!captured) m_dialogs->Error(this, QString::fromStdString(captured.message()));
}

void TForm1::SaveAs1Click() {
  const ImageType offered = m_settings.image.Type();
  const std::optional<QString> fileName = m_dialogs->SaveFileName(
      this, QString::fromStdString(m_userFolders.images), QString(),
      QString::fromUtf8(kSavePictureFilter.data(), static_cast<qsizetype>(kSavePictureFilter.size())),
      SavePictureFilterIndex(offered), QString::fromLatin1(ImageExtension(offered).data()));
  if (!fileName) return;
  // The type buttons decide the encoding, whatever the name's extension or
  // the dialog's file type says.
  const Result<QImage> image = m_output->RenderGraphBitmap(OutputTarget::CapturedImages);
  const Status written = image ? m_output->WriteImageFile(image.value(), m_settings.image.Type(), *fileName)
                               : image.status();
  if (!written) m_dialogs->Error(this, QString::fromStdString(written.message()));
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
  cbCapture->setEnabled(m_output->CaptureFolderExists());
}

void TForm1::edFolderChange() {
  const bool exists = m_output->CaptureFolderExists();
  btnSave->setEnabled(exists);
  cbCapture->setEnabled(exists);  // a disabled box keeps its check
}

void TForm1::cbCaptureClick() {
  imgNoise->setVisible(m_settings.run.capture && m_output->CaptureFolderExists());
}

void TForm1::rbPercentClick() {
  const bool percent = m_settings.image.percentMode;
  const bool pixels = m_settings.image.pixelsMode;
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
      PercentSizeLabel(m_settings.image.percent, ImageSize{graph.width(), graph.height()})));
  Label3->adjustSize();
}

void TForm1::btnCopyClick() {
  const Result<QImage> image = m_output->RenderGraphBitmap(OutputTarget::Clipboard);
  if (!image) return m_dialogs->Error(this, QString::fromStdString(image.status().message()));
  QGuiApplication::clipboard()->setImage(image.value());
}

void TForm1::Copy2Click() { btnCopyClick(); }

void TForm1::btnPrintClick() {
  // Without a printer to print on, the print dialog (which offers a PDF
  // file) comes instead of an error.
  if (!m_output->PrinterReady()) return Print1Click();
  const Status printed = m_output->Print(logicalDpiX());
  if (!printed) m_dialogs->Error(this, QString::fromStdString(printed.message()));
}

void TForm1::Print1Click() {
  if (!m_dialogs->Print(this, m_output->Printer())) return;
  const Status printed = m_output->Print(logicalDpiX());
  if (!printed) m_dialogs->Error(this, QString::fromStdString(printed.message()));
}

void TForm1::PrinterSetup1Click() { m_dialogs->PrinterSetup(this, m_output->Printer()); }

void TForm1::mnuDistributionClick() {
  m_session->Chart().distribution = m_settings.extras.distribution;
  m_session->ChartEdited();
}

void TForm1::ExportData1Click() {
  const QString folder = m_output->CaptureFolderExists() ? edFolder->text() : QDir::homePath();
  const std::optional<Dialogs::SaveChoice> choice = m_dialogs->SaveFileNameAndType(
      this, folder, QStringLiteral("quorvel-data.csv"), QString::fromLatin1(kExportFilter), 1);
  if (!choice) return;
  // The extension typed decides the format; the dialog's file type only
  // where the name has none of the export's own.
  const ExportFormat chosen = choice->filterIndex == 2 ? ExportFormat::JsonLines : ExportFormat::Csv;
  QString fileName = choice->fileName;
  const ExportFormat format = ExportFormatFor(fileName.toStdString(), chosen);
  if (QFileInfo(fileName).suffix().isEmpty()) {
    fileName += format == ExportFormat::Csv ? QStringLiteral(".csv") : QStringLiteral(".jsonl");
  }
  const std::string path = fileName.toStdString();
  if (const std::error_code error = ReplaceFileWhole(path, ExportPoints(m_session->Chart().data, format))) {
    const std::string message = "Cannot create file \"" + path + "\". " + error.message();
    m_dialogs->Error(this, QString::fromStdString(message));
  }
}

}  // namespace quorvel
