// The plot run's side of the main window: Start, Stop, the tick, and what
// the session tells the window (the session's listener).
#include <QAction>
#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLocale>
#include <QPlainTextEdit>
#include <QTabBar>
#include <QToolButton>

#include <exception>
#include <iostream>

#include "app/addressbox.h"
#include "app/chartview.h"
#include "app/controls.h"
#include "app/dialogs.h"
#include "app/form1.h"
#include "app/form1sessionview.h"
#include "app/graphoutput.h"
#include "app/plottimer.h"
#include "app/windowalerts.h"
#include "app/windowweb.h"
#include "probe/replysummary.h"

namespace quorvel {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

// The panel shows what matters of the reply; the whole line is its tooltip.
void TForm1::SessionView::ReplyLineShown(const std::string& line) {
  f.StatusPanel1->setText(Q(ShortReplyLine(line)));
  f.StatusPanel1->setToolTip(Q(line));
}

void TForm1::SessionView::ResponseChanged(const std::string& text) { f.Memo1->setPlainText(Q(text)); }

void TForm1::SessionView::CaptionsChanged(const StatisticsCaptions& captions) {
  f.mnuMax->setText(Q(captions.max));
  f.mnuAvg->setText(Q(captions.avg));
  f.mnuMin->setText(Q(captions.min));
}

void TForm1::SessionView::RunStateChanged(const RunState& state, unsigned changed) {
  if (changed & RunState::kTimer) f.Timer1->setEnabled(state.timerArmed);
  if (changed & RunState::kButtons) (state.startDown ? f.btnStart : f.btnStop)->setChecked(true);
  if (changed & RunState::kAddress) f.cbURL->setEnabled(state.addressEnabled);
  if (changed & RunState::kStopped) f.Label13->setVisible(state.stoppedShown);
}

void TForm1::SessionView::Starting() { f.PageControl1->setCurrentWidget(f.TabSheet1); }

void TForm1::SessionView::StartedPanelChanged(const std::string& text) {
  f.StatusPanel0->setText(Q(text));
}

void TForm1::SessionView::Notify(const std::string& text, NoticeKind kind) {
  switch (kind) {
    case NoticeKind::Error:
      return f.m_dialogs->Error(&f, Q(text));
    case NoticeKind::Message:
      return f.m_dialogs->Message(&f, Q(text));
    case NoticeKind::StatusBar:
      f.StatusPanel1->setText(Q(text));
      f.StatusPanel1->setToolTip(Q(text));
      return;
  }
}

void TForm1::SessionView::ErrorLine(const std::string& line) { std::cerr << line << std::flush; }

Status TForm1::SessionView::CapturePage() { return f.m_output->CaptureNow(f.m_clock.Now()); }

void TForm1::SessionView::HistoryInserted(std::size_t position, const std::string& entry) {
  InsertHistoryItem(f.cbURL, position, entry);
}

void TForm1::SessionView::AlertsChanged(const std::vector<AlertEvent>& events,
                                        const std::vector<ActiveAlert>& active) {
  f.m_alerts->Changed(events, active);
}

void TForm1::OpenAddress(const std::string& address) {
  if (btnStart->isChecked()) btnStopClick();
  cbURL->setEditText(Q(address));
  // As the user's press: Start is down from the first ping on, so a close
  // during that ping still saves a run to resume.
  btnStart->click();
}

void TForm1::btnStartClick() { m_session->Start(); }
void TForm1::btnStopClick() { m_session->Stop(); }
void TForm1::Timer1Timer() { m_session->Tick(); }

void TForm1::ChartChanged() {
  m_web->ImageChanged();
  Chart1->refresh();
  // The figures beside the page tabs, their tooltip and the graph menu's
  // lines, from the figures as last published.
  const StatisticsSummary summary = m_session->Chart().figures.Summary();
  const std::vector<std::string> lines = StatisticsLines(summary);
  QString tip;
  for (std::size_t i = 0; i < lines.size() && i < statisticsItems.size(); ++i) {
    const QString line = Q(lines[i]);
    statisticsItems[i]->setText(line);
    if (summary.sent > 0) tip += (tip.isEmpty() ? QString() : QStringLiteral("\n")) + line;
  }
  // Probes that could not be made are no part of the loss: they are named
  // apart, by reason.
  const TargetFigures& figures = m_session->Chart().figures;
  if (figures.RunErrorCount() > 0) {
    std::string errors = "Pings that could not be run: " + std::to_string(figures.RunErrorCount()) + " (";
    bool first = true;
    for (const auto& [reason, count] : figures.RunErrors()) {
      errors += (first ? "" : ", ") + reason + ": " + std::to_string(count);
      first = false;
    }
    tip += (tip.isEmpty() ? QString() : QStringLiteral("\n")) + Q(errors + ")");
  }
  lblStatistics->setToolTip(tip);
  m_statisticsLines = StatisticsLineVariants(summary);
  // The fullest line that fits the corner the tabs leave.
  const QFontMetrics metrics(lblStatistics->font());
  const int room = PageControl1->width() - PageControl1->tabBar()->sizeHint().width() - 12;
  QString shown;
  for (const std::string& line : m_statisticsLines) {
    shown = Q(line);
    if (metrics.horizontalAdvance(shown) <= room) break;
  }
  lblStatistics->setText(shown);
}

void TForm1::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (!m_web) return;  // still being built
  FormResize();
  ChartChanged();
}

}  // namespace quorvel
