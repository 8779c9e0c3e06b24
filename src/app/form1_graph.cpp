// The graph's side of the main window: Clear, the interval and page boxes,
// the title, the vertical-axis limits, the look of the chart, the graph menu
// and the mouse on the chart.
#include <QAction>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QToolButton>

#include "app/chartview.h"
#include "app/controls.h"
#include "app/dialogs.h"
#include "app/fontchoice.h"
#include "app/form1.h"
#include "app/graphoutput.h"
#include "app/plottimer.h"
#include "graph/chartrenderer.h"
#include "graph/filenamefilter.h"
#include "graph/pagecaption.h"
#include "graph/title.h"
#include "output/imagesize.h"

namespace quorvel {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// The colour dialog preset to `initial`; nothing when cancelled.
std::optional<Colour> PickColour(Dialogs& dialogs, QWidget* parent, Colour initial) {
  const std::optional<QColor> chosen = dialogs.PickColour(parent, ToQColor(initial));
  if (!chosen) return std::nullopt;
  return FromQColor(*chosen);
}

}  // namespace

QSize TForm1::GraphSize() const { return PageControl1->ContentsRect().size(); }

void TForm1::btnClearClick() { m_session->Clear(); }

void TForm1::Clear1Click() { btnClearClick(); }

void TForm1::spXChange() {
  const std::int64_t interval = m_settings.run.intervalSeconds;
  Timer1->setInterval(interval * 1000);
  m_session->IntervalChanged();
  Label12->setText(Q(PerPageCaption(interval, m_settings.run.pointsPerPage)));
  edTitleChange();
  PublishWeb();  // the live page reloads at the interval
}

void TForm1::spPointsChange() {
  const std::int64_t interval = m_settings.run.intervalSeconds;
  Timer1->setInterval(interval * 1000);
  Label12->setText(Q(PerPageCaption(interval, m_settings.run.pointsPerPage)));
  // A refused maximum is ignored.
  if (m_session->Chart().bottom.SetMax(m_settings.run.pointsPerPage)) m_session->ChartEdited();
}

void TForm1::edTitleChange() {
  const GraphAppearance& look = m_settings.graph;
  TitleParts parts;
  parts.text = look.title;
  parts.appendAddress = look.appendAddress;
  parts.address = m_settings.run.address;
  parts.appendInterval = look.appendInterval;
  parts.intervalSeconds = m_settings.run.intervalSeconds;
  ChartLook& chart = m_session->Chart().look;
  chart.title = ComposeTitle(parts);
  chart.leftTitle = look.label;
  chart.border = look.border;
  m_session->ChartEdited();
}

void TForm1::edLabelChange() {
  m_session->Chart().look.leftTitle = m_settings.graph.label;
  m_session->ChartEdited();
}

bool TForm1::edLabelKeyPress(QObject*, QKeyEvent* key) {
  const QString text = key->text();
  if (text.size() != 1 || !RefusedInFileName(text.at(0).unicode())) return true;
  m_dialogs->Beep();
  return false;
}

void TForm1::spMaxExit() {
  const LimitCheckResult r = m_session->LeaveLimitBox(LimitBox::Max, m_settings.graph.verticalMax,
                                                      m_settings.graph.verticalMin);
  if (r.accepted) return;
  spMax->setValue(r.restore);
  m_dialogs->Message(this, Q(r.message));
}

void TForm1::spMinExit() {
  const LimitCheckResult r = m_session->LeaveLimitBox(LimitBox::Min, m_settings.graph.verticalMax,
                                                      m_settings.graph.verticalMin);
  if (r.accepted) return;
  spMin->setValue(r.restore);
  m_dialogs->Message(this, Q(r.message));
}

void TForm1::PageControl2Change() {
  if (!m_session->Limits().Refused()) return;
  m_session->Limits().ClearRefused();
  PageControl2->setCurrentWidget(TabSheet4);
}

void TForm1::TabSheet1Show() { Panel1->setFocus(Qt::OtherFocusReason); }

void TForm1::rbLineClick() {
  ChartModel& chart = m_session->Chart();
  chart.lineShown = m_settings.graph.line;
  chart.areaShown = m_settings.graph.area;
  m_session->ChartEdited();
}

void TForm1::rbStepsClick() {
  m_session->Chart().stairs = m_settings.graph.steps;
  m_session->ChartEdited();
}

void TForm1::rbRampClick() { rbStepsClick(); }

void TForm1::btnDownColourClick() {
  if (const auto c = PickColour(*m_dialogs, this, m_settings.graph.plot)) {
    m_settings.graph.plot = *c;
    Shape1->SetColour(ToQColor(*c));
  }
}

void TForm1::btnAvgColourClick() {
  if (const auto c = PickColour(*m_dialogs, this, m_settings.graph.average)) {
    m_settings.graph.average = *c;
    Shape2->SetColour(ToQColor(*c));
  }
}

void TForm1::btnBackColourClick() {
  if (const auto c = PickColour(*m_dialogs, this, m_settings.graph.back)) {
    m_settings.graph.back = *c;
    Shape3->SetColour(ToQColor(*c));
    m_session->Chart().look.back = *c;
    m_session->ChartEdited();
  }
}

void TForm1::btnBorderColourClick() {
  if (const auto c = PickColour(*m_dialogs, this, m_settings.graph.border)) {
    m_settings.graph.border = *c;
    Shape5->SetColour(ToQColor(*c));
    m_session->Chart().look.border = *c;
    m_session->ChartEdited();
  }
}

void TForm1::btnGridClick() {
  if (const auto c = PickColour(*m_dialogs, this, m_settings.graph.grid)) {
    m_settings.graph.grid = *c;
    m_session->Chart().look.grid = *c;
    m_session->ChartEdited();
  }
}

void TForm1::btnAFontClick() {
  if (const auto c = PickColour(*m_dialogs, this, m_settings.graph.axesText)) {
    m_settings.graph.axesText = *c;
    Shape4->SetColour(ToQColor(*c));
    m_session->Chart().look.axesText = *c;
    m_session->ChartEdited();
  }
}

void TForm1::btnFontClick() {
  // The font dialog offers no colour: the title keeps its colour.
  FontSpec& title = m_settings.graph.titleFont;
  const std::optional<QFont> chosen = m_dialogs->PickFont(this, ToQFont(title, FontSize::Points));
  if (!chosen) return;
  const FontSpec picked = FromQFont(*chosen, title.colour);
  title = picked;
  m_session->Chart().look.titleFont = picked;
  m_session->ChartEdited();
}

void TForm1::btnTitleColourClick() {
  FontSpec& title = m_settings.graph.titleFont;
  if (const auto c = PickColour(*m_dialogs, this, title.colour)) {
    title.colour = *c;
    m_session->Chart().look.titleFont.colour = *c;
    m_session->ChartEdited();
  }
}

void TForm1::rbVerticalClick() {
  m_session->Chart().look.verticalLabels = m_settings.graph.verticalLabels;
  m_session->ChartEdited();
}

void TForm1::FormResize() {
  const QSize graph = GraphSize();
  const ImageSize onScreen{graph.width(), graph.height()};
  Label22->setText(Q(ScreenSizeLabel(onScreen)));
  Label22->adjustSize();
  Label3->setText(Q(PercentSizeLabel(m_settings.image.percent, onScreen)));
  Label3->adjustSize();
}

void TForm1::PopupMenu3Popup() {
  const StatisticsCaptions captions = m_session->Captions();
  mnuMax->setText(Q(captions.max));
  mnuAvg->setText(Q(captions.avg));
  mnuMin->setText(Q(captions.min));
  Save1->setEnabled(m_output->CaptureFolderExists());
}

void TForm1::cbShowAllClick() { Memo1->setVisible(m_settings.window.showAll); }

void TForm1::Chart1MouseDown(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  Chart1->setCursor(Qt::ClosedHandCursor);  // the drag hand
  Timer1->setEnabled(false);
  const ChartGeometry g = ChartRenderer::Geometry(Chart1->size(), m_session->Chart());
  m_panning = g.plot.contains(event->position().toPoint());
  m_panFrom = event->position().toPoint();
}

void TForm1::Chart1MouseMove(QMouseEvent* event) {
  if (!m_panning || !(event->buttons() & Qt::LeftButton)) return;
  const QPoint at = event->position().toPoint();
  ChartModel& chart = m_session->Chart();
  const ChartGeometry g = ChartRenderer::Geometry(Chart1->size(), chart);
  if (!g.plot.contains(at)) return;
  const QPoint moved = at - m_panFrom;
  m_panFrom = at;
  if (moved.isNull()) return;
  // The graph follows the pointer: the value under it stays under it.
  // The Precise Scale view fits its range afresh: only the time pans.
  if (!chart.precise) chart.left.Shift(moved.y() * g.left.UnitsPerPixel());
  if (m_allowPanning == PanDirections::Both) {
    chart.bottom.Shift(-moved.x() * g.bottom.UnitsPerPixel());
  }
  Chart1Scroll();
}

void TForm1::Chart1MouseUp(QMouseEvent*) {
  m_panning = false;
  Chart1->unsetCursor();
  Timer1->setEnabled(btnStart->isChecked());
}

void TForm1::Chart1Scroll() {
  m_allowPanning = m_session->AfterPan(m_settings.graph.verticalMax, m_settings.run.pointsPerPage);
}

}  // namespace quorvel
