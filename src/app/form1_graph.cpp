// The graph's side of the main window: Clear, the interval and page boxes,
// the title, the vertical-axis limits, the look of the chart, the statistics
// menu and the mouse on the chart.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QToolButton>

#include <algorithm>
#include <cmath>

#include "app/chartview.h"
#include "app/controls.h"
#include "app/dialogs.h"
#include "app/form1.h"
#include "app/plottimer.h"
#include "graph/chartrenderer.h"
#include "graph/filenamefilter.h"
#include "graph/pagecaption.h"
#include "graph/seriesstatistics.h"
#include "graph/title.h"
#include "output/imagesize.h"
#include "probe/pingprobe.h"

namespace quorvel {

namespace {

QFont ToQFont(const FontSpec& spec) {
  QFont font(QString::fromStdString(spec.name));
  font.setPointSize(std::clamp(spec.pointSize, 1, 1000));
  font.setBold((spec.style & kFontBold) != 0);
  font.setItalic((spec.style & kFontItalic) != 0);
  font.setUnderline((spec.style & kFontUnderline) != 0);
  font.setStrikeOut((spec.style & kFontStrikeOut) != 0);
  return font;
}

}  // namespace

QSize TForm1::GraphSize() const { return PageControl1->ContentsRect().size(); }

void TForm1::ChartChanged() {
  m_chart.barColour = m_appearance.plot;
  m_chart.Changed();
  WebImageChanged();
  Chart1->refresh();
}

void TForm1::btnClearClick() {
  m_run.Clear();
  m_chart.data.Clear();
  m_chart.figures.ClearRun();
  ShowRunStatistics();
  ResetWindow(m_chart.bottom, spPoints->Value());
  ChartChanged();
}

void TForm1::Clear1Click() { btnClearClick(); }

void TForm1::spXChange() {
  const std::int64_t interval = spX->Value();
  Timer1->setInterval(interval * 1000);
  m_pingTimeout = PingTimeoutFor(interval);
  Label12->setText(QString::fromStdString(PerPageCaption(interval, spPoints->Value())));
  edTitleChange();
}

void TForm1::spPointsChange() {
  const std::int64_t interval = spX->Value();
  Timer1->setInterval(interval * 1000);
  Label12->setText(QString::fromStdString(PerPageCaption(interval, spPoints->Value())));
  if (m_chart.bottom.SetMax(spPoints->Value())) ChartChanged();  // a refused maximum is ignored
}

void TForm1::edTitleChange() {
  TitleParts parts;
  parts.text = edTitle->text().toStdString();
  parts.appendAddress = cbAppend->isChecked();
  parts.address = cbURL->currentText().toStdString();
  parts.appendInterval = cbAppInterval->isChecked();
  parts.intervalSeconds = spX->Value();
  m_chart.look.title = ComposeTitle(parts);
  m_chart.look.leftTitle = edLabel->text().toStdString();
  m_chart.look.border = m_appearance.border;
  ChartChanged();
}

void TForm1::edLabelChange() {
  m_chart.look.leftTitle = edLabel->text().toStdString();
  ChartChanged();
}

bool TForm1::edLabelKeyPress(QObject*, QKeyEvent* key) {
  const QString text = key->text();
  if (text.size() != 1 || !RefusedInFileName(text.at(0).unicode())) return true;
  m_dialogs->Beep();
  return false;
}

void TForm1::LimitBoxLeft(LimitBox box) {
  const LimitCheckResult r = m_limits.Leave(box, spMax->Value(), spMin->Value(), m_chart.left);
  if (r.accepted) {
    ChartChanged();
    return;
  }
  (box == LimitBox::Max ? spMax : spMin)->setValue(r.restore);
  m_dialogs->Message(this, QString::fromStdString(r.message));
}

void TForm1::spMaxExit() { LimitBoxLeft(LimitBox::Max); }
void TForm1::spMinExit() { LimitBoxLeft(LimitBox::Min); }

void TForm1::PageControl2Change() {
  if (!m_limits.Refused()) return;
  m_limits.ClearRefused();
  PageControl2->setCurrentWidget(TabSheet4);
}

void TForm1::TabSheet1Show() { Panel1->setFocus(Qt::OtherFocusReason); }

void TForm1::rbLineClick() {
  m_chart.lineShown = rbLine->isChecked();
  m_chart.areaShown = rbArea->isChecked();
  ChartChanged();
}

void TForm1::rbStepsClick() {
  m_chart.stairs = rbSteps->isChecked();
  ChartChanged();
}

void TForm1::rbRampClick() { rbStepsClick(); }

std::optional<Colour> TForm1::PickColour(Colour initial) {
  const std::optional<QColor> chosen = m_dialogs->PickColour(this, ToQColor(initial));
  if (!chosen) return std::nullopt;
  return FromQColor(*chosen);
}

void TForm1::btnDownColourClick() {
  if (const auto c = PickColour(m_appearance.plot)) {
    m_appearance.plot = *c;
    Shape1->SetColour(ToQColor(*c));
  }
}

void TForm1::btnAvgColourClick() {
  if (const auto c = PickColour(m_appearance.average)) {
    m_appearance.average = *c;
    Shape2->SetColour(ToQColor(*c));
  }
}

void TForm1::btnBackColourClick() {
  if (const auto c = PickColour(m_appearance.back)) {
    m_appearance.back = *c;
    Shape3->SetColour(ToQColor(*c));
    m_chart.look.back = *c;
    ChartChanged();
  }
}

void TForm1::btnBorderColourClick() {
  if (const auto c = PickColour(m_appearance.border)) {
    m_appearance.border = *c;
    Shape5->SetColour(ToQColor(*c));
    m_chart.look.border = *c;
    ChartChanged();
  }
}

void TForm1::btnGridClick() {
  if (const auto c = PickColour(m_appearance.grid)) {
    m_chart.look.grid = *c;
    m_appearance.grid = *c;
    ChartChanged();
  }
}

void TForm1::btnAFontClick() {
  if (const auto c = PickColour(m_chart.look.axesText)) {
    m_chart.look.axesText = *c;
    Shape4->SetColour(ToQColor(*c));
    ChartChanged();
  }
}

void TForm1::btnFontClick() {
  // The font dialog offers no colour: the title keeps its colour.
  FontSpec& title = m_chart.look.titleFont;
  const std::optional<QFont> chosen = m_dialogs->PickFont(this, ToQFont(title));
  if (!chosen) return;
  title.name = chosen->family().toStdString();
  title.pointSize = chosen->pointSize() > 0
                        ? chosen->pointSize()
                        : static_cast<int>(std::lround(chosen->pixelSize() * 72.0 / 96.0));
  title.style = (chosen->bold() ? kFontBold : 0) | (chosen->italic() ? kFontItalic : 0) |
                (chosen->underline() ? kFontUnderline : 0) |
                (chosen->strikeOut() ? kFontStrikeOut : 0);
  ChartChanged();
}

void TForm1::rbVerticalClick() {
  m_chart.look.verticalLabels = rbVertical->isChecked();
  ChartChanged();
}

void TForm1::FormResize() {
  const QSize graph = GraphSize();
  const ImageSize onScreen{graph.width(), graph.height()};
  Label22->setText(QString::fromStdString(ScreenSizeLabel(onScreen)));
  Label22->adjustSize();
  Label3->setText(QString::fromStdString(PercentSizeLabel(spPercent->Value(), onScreen)));
  Label3->adjustSize();
}

// The statistics captions use the desktop's separators.
NumberFormat TForm1::StatisticsFormat() {
  const QLocale locale;
  NumberFormat format;
  format.groupSeparator = locale.groupSeparator().toStdString();
  format.decimalPoint = locale.decimalPoint().toStdString();
  return format;
}

void TForm1::ShowStatistics(const StatisticsCaptions& captions) {
  mnuMax->setText(QString::fromStdString(captions.max));
  mnuAvg->setText(QString::fromStdString(captions.avg));
  mnuMin->setText(QString::fromStdString(captions.min));
}

void TForm1::PopupMenu3Popup() {
  ShowStatistics(CaptionsFor(m_chart.data, StatisticsFormat()));
  Save1->setEnabled(CaptureFolderExists());
}

void TForm1::cbShowAllClick() { Memo1->setVisible(cbShowAll->isChecked()); }

void TForm1::Chart1MouseDown(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  Chart1->setCursor(Qt::ClosedHandCursor);  // the drag hand
  Timer1->setEnabled(false);
  const ChartGeometry g = ChartRenderer::Geometry(Chart1->size(), m_chart);
  m_panning = g.plot.contains(event->position().toPoint());
  m_panFrom = event->position().toPoint();
}

void TForm1::Chart1MouseMove(QMouseEvent* event) {
  if (!m_panning || !(event->buttons() & Qt::LeftButton)) return;
  const QPoint at = event->position().toPoint();
  const ChartGeometry g = ChartRenderer::Geometry(Chart1->size(), m_chart);
  if (!g.plot.contains(at)) return;
  const QPoint moved = at - m_panFrom;
  m_panFrom = at;
  if (moved.isNull()) return;
  // The graph follows the pointer: the value under it stays under it.
  m_chart.left.Shift(moved.y() * g.left.UnitsPerPixel());
  if (m_allowPanning == PanDirections::Both) {
    m_chart.bottom.Shift(-moved.x() * g.bottom.UnitsPerPixel());
  }
  Chart1Scroll();
}

void TForm1::Chart1MouseUp(QMouseEvent*) {
  m_panning = false;
  Chart1->unsetCursor();
  Timer1->setEnabled(btnStart->isChecked());
}

void TForm1::Chart1Scroll() {
  m_allowPanning = AfterPanStep(m_chart.left, m_chart.bottom, spMax->Value(), spPoints->Value(),
                                m_run.WindowTickCount());
  ChartChanged();
}

}  // namespace quorvel
