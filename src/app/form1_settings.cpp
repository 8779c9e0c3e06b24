// Start-up of the main window and its settings.
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QToolButton>

#include "app/chartview.h"
#include "app/controls.h"
#include "app/form1.h"
#include "app/plottimer.h"
#include "app/settingvalues.h"
#include "graph/pagecaption.h"
#include "graph/title.h"
#include "probe/pingprobe.h"

namespace quorvel {

namespace {

QColor ToQColor(Colour c) {
  const Colour r = ResolveColour(c);
  return QColor(static_cast<int>(RedOf(r)), static_cast<int>(GreenOf(r)),
                static_cast<int>(BlueOf(r)));
}

}  // namespace

void TForm1::LoadSettings() {
  // The values of a first start, in the order the settings are loaded; each
  // control's handler runs as its value arrives.
  cbURL->setEditText(QString());                         // URL
  SetRadioChecked(rbStop, true);                         // Stop
  SetRadioChecked(rbRestart, false);                     // Restart
  spX->setValue(10);                                     // Time
  spPoints->setValue(400);                               // Points
  spMax->setValue(60);                                   // Max
  spMin->setValue(0);                                    // Min
  SetRadioChecked(rbLine, true);                         // Line
  SetRadioChecked(rbArea, false);                        // Area
  SetRadioChecked(rbSteps, false);                       // Steps
  SetRadioChecked(rbRamp, true);                         // Ramp
  btnStop->setChecked(true);                             // Run
  cbShowAll->setChecked(false);                          // ShowAll
  cbCapture->setChecked(false);                          // Capture
  edFolder->setText(QDir::toNativeSeparators(QCoreApplication::applicationDirPath()));  // Folder
  edLabel->setText(QStringLiteral("Ping - milliseconds"));  // Label
  edTitle->setText(QStringLiteral("Quorvel of^"));      // Title
  spPages->setValue(50);                                 // Pages
  cbMinimize->setChecked(false);                         // Minimize
  cbIgnore->setChecked(true);                            // Ignore
  cbWeb->setChecked(false);                              // Web
  edTemp->setText(QStringLiteral("quorvel.jpg"));        // Temp
  m_appearance.border = kBtnFace;                        // Border
  m_appearance.plot = kBlue;                             // Plot
  m_appearance.average = kFuchsia;                       // AvgPlot
  cbPlotAvg->setChecked(true);                           // PlotAvg
  m_appearance.back = kWhite;                            // Back
  m_chart.look.axesText = kBlack;                        // Left
  m_appearance.grid = kGray;                             // Grid
  const QSize graph = GraphSize();
  spGrHeight->setValue(graph.height());                  // Height
  spGrWidth->setValue(graph.width());                    // Width
  cbHTTP->setChecked(true);                              // HTTP
  cbCaptured->setChecked(true);                          // Cap
  cbClip->setChecked(true);                              // Clip
  cbPrint->setChecked(true);                             // Print
  SetRadioChecked(rbPercent, true);                      // rbPercent
  SetRadioChecked(rbPixels, false);                      // rbPixels
  spPercent->setValue(100);                              // spPercent
  m_chart.look.titleFont = FontSpec{"Arial", 10, 0, kBlack};  // Colour, FontName, FontSize, FontStyle
  SetRadioChecked(rbJPG, true);                          // JPG
  SetRadioChecked(rbGIF, false);                         // GIF
  SetRadioChecked(rbBMP, false);                         // BMP
  SetRadioChecked(rbPNG, false);                         // PNG
  cbGray->setChecked(false);                             // Gray
  cbAppend->setChecked(true);                            // Append
  cbAppInterval->setChecked(true);                       // AppInterval
  SetRadioChecked(rbVertical, false);                    // Vertical
  SetRadioChecked(rbHorizontal, true);                   // Horizontal
  SetRadioChecked(rbNoLog, true);                        // NoLog
  SetRadioChecked(rbAllLog, false);                      // AllLog
  SetRadioChecked(rbOnlyLog, false);                     // OnlyLog
  SetRadioChecked(rbPing, false);                        // Ping
  SetRadioChecked(rbAvgPing, true);                      // AvgPing
  spLog->setValue(50);                                   // LogVal
  edLog->setText(QString());                             // LogFile

  // The title box keeps its blanks as "^" in the file.
  edTitle->setText(QString::fromStdString(TitleFromStored(edTitle->text().toStdString())));
}

void TForm1::ApplyLoadedAppearance() {
  // The page duration.
  Label12->setText(QString::fromStdString(PerPageCaption(spX->Value(), spPoints->Value())));
  // The time window; the axes text colour serves every axis text.
  m_chart.bottom.SetMax(spPoints->Value());
  m_chart.look.grid = m_appearance.grid;
  // The vertical range from the boxes, through a wide range first so that
  // neither bound is refused by the other; whatever is still refused stays.
  m_chart.left.SetMax(9999);
  m_chart.left.SetMin(-1);
  m_chart.left.SetMax(spMax->Value());
  m_chart.left.SetMin(spMin->Value());
  m_limits.Remember(spMax->Value(), spMin->Value());
  edTitleChange();
  m_chart.look.back = m_appearance.back;
  rbLineClick();
  // The grid is always dotted.
  rbVerticalClick();
  Shape1->SetColour(ToQColor(m_appearance.plot));
  Shape2->SetColour(ToQColor(m_appearance.average));
  Shape3->SetColour(ToQColor(m_appearance.back));
  Shape5->SetColour(ToQColor(m_appearance.border));
  Shape4->SetColour(ToQColor(m_chart.look.axesText));
  rbStepsClick();
  m_chart.Changed();
}

void TForm1::StartUp() {
  LoadSettings();
  Memo1->setVisible(cbShowAll->isChecked());

  const std::int64_t interval = spX->Value();
  Timer1->setInterval(interval * 1000);
  m_pingTimeout = PingTimeoutFor(interval);

  ApplyLoadedAppearance();

  // The image size boxes follow the size mode; the capture mark and switch
  // need an existing capture folder.
  const bool percent = rbPercent->isChecked();
  const bool pixels = rbPixels->isChecked();
  spPercent->setEnabled(percent);
  Label3->setEnabled(percent);
  for (QWidget* w : {static_cast<QWidget*>(spGrWidth), static_cast<QWidget*>(spGrHeight),
                     static_cast<QWidget*>(Label16), static_cast<QWidget*>(Label17),
                     static_cast<QWidget*>(Label20)}) {
    w->setEnabled(pixels);
  }
  const bool folderExists = !edFolder->text().isEmpty() && QDir(edFolder->text()).exists();
  imgNoise->setVisible(cbCapture->isChecked() && folderExists);
  cbCapture->setEnabled(folderExists);

  PageControl1->setCurrentWidget(TabSheet1);
  FormResize();
  if (btnStart->isChecked()) btnStartClick();
}

}  // namespace quorvel
