// The plot run's side of the main window: Start, Stop, the tick, and the
// host the widget-free plot run works through.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTabWidget>
#include <QToolButton>

#include <exception>

#include "app/chartview.h"
#include "app/controls.h"
#include "app/dialogs.h"
#include "app/form1.h"
#include "app/plottimer.h"
#include "graph/seriesstatistics.h"
#include "probe/replysummary.h"
#include "probe/rundosinmemo.h"

namespace quorvel {

void TForm1::btnStartClick() {
  if (m_tickRunning) {
    // Start's immediate tick cannot run inside the tick in progress: it runs
    // as soon as that tick is over.
    m_startPending = true;
    return;
  }
  // Start's own probe is a tick in progress like any other: a tick falling
  // due meanwhile is dropped, a Start pressed meanwhile runs after it.
  do {
    m_startPending = false;
    m_tickRunning = true;
    Guarded([this] { m_run.Start(*this); });
    m_tickRunning = false;
  } while (m_startPending);
}

void TForm1::btnStopClick() {
  m_startPending = false;
  m_run.Stop(*this);
}

void TForm1::Timer1Timer() {
  if (m_tickRunning) return;  // a tick falling due during a probe is dropped
  m_tickRunning = true;
  Guarded([this] { m_run.Tick(*this); });
  m_tickRunning = false;
  if (m_startPending) btnStartClick();
}

std::string TForm1::Address() { return cbURL->currentText().toStdString(); }
std::int32_t TForm1::PingTimeout() { return m_pingTimeout; }
Colour TForm1::PlotColour() { return m_appearance.plot; }
bool TForm1::IgnoreFirstPing() { return cbIgnore->isChecked(); }
int TForm1::Pages() { return spPages->Value(); }
int TForm1::PointsPerPage() { return spPoints->Value(); }
bool TForm1::StopAtLimit() { return rbStop->isChecked(); }
bool TForm1::RestartAtLimit() { return rbRestart->isChecked(); }
bool TForm1::CaptureReady() { return cbCapture->isChecked() && CaptureFolderExists(); }

void TForm1::ClearResponse() {
  m_response.clear();
  Memo1->clear();
}

void TForm1::RunProbe(const std::string& commandLine) {
  // Events are handled while the child runs; Memo1 shows the text once the
  // probe is complete.
  std::string text;
  // A close (from the window, a signal or the desktop's log-off) stops the
  // ping at once: the tick ends here, without a sample.
  const bool finished = RunDosInMemo(
      commandLine, text, [] { QApplication::processEvents(); }, [this] { return ProbeCancelled(); });
  if (!finished || ProbeCancelled()) throw ProbeStopped();
  m_response += text;
  Memo1->setPlainText(QString::fromStdString(m_response));
}

std::string TForm1::ResponseText() { return m_response; }

// The panel shows what matters of the reply; the whole line is its tooltip.
void TForm1::ShowReplyLine(const std::string& line) {
  StatusPanel1->setText(QString::fromStdString(ShortReplyLine(line)));
  StatusPanel1->setToolTip(QString::fromStdString(line));
}

void TForm1::AddPoint(const Sample& sample) {
  const LocalTime now = m_clock.Now();
  m_chart.data.AddPing(sample.value, sample.colour,
                       PointStamp{now.SecondsOfDay(), now.unixMs, now.utcOffsetSeconds},
                       sample.micros);
  // The counters of /metrics start again when another address is measured.
  m_chart.figures.SetHost(cbURL->currentText().toStdString());
  m_chart.figures.Add(sample.micros, now.unixMs, now.utcOffsetSeconds);
  ShowRunStatistics();
  ChartChanged();
}

void TForm1::PageReset() {
  m_chart.data.Clear();
  m_chart.figures.ClearRun();
  ShowRunStatistics();
  ResetWindow(m_chart.bottom, spPoints->Value());
  ChartChanged();
}

// The page capture: its error goes back to the run, which finishes the tick
// before it is shown.
void TForm1::CaptureNow() { CaptureGraph(); }

void TForm1::WindowStep(std::int32_t windowTickCount) {
  quorvel::WindowStep(m_chart.bottom, windowTickCount, m_chart.data.PingCount());
  ChartChanged();
}

double TForm1::StatisticsStep(std::int32_t value) {
  m_chart.averageShown = cbPlotAvg->isChecked();
  const StatisticsStepResult r = quorvel::StatisticsStep(
      m_chart.data, value, rbAvgPing->isChecked(), m_appearance.average,
      m_clock.Now().SecondsOfDay(), StatisticsFormat());
  ShowStatistics(r.captions);
  ChartChanged();
  return r.comparison;
}

void TForm1::LogStep(const std::string& sampleText, double comparison) {
  // The log options are read as they stand now, at the end of the tick.
  LogSettings settings;
  settings.mode = LogChecks();
  settings.threshold = spLog->Value();
  settings.fileName = LogFileName();
  quorvel::LogStep(settings, sampleText, comparison, m_clock, m_logFiles);
}

void TForm1::ShowGraphPage() { PageControl1->setCurrentWidget(TabSheet1); }
void TForm1::ShowStoppedLabel(bool shown) { Label13->setVisible(shown); }
void TForm1::SetTimerArmed(bool armed) { Timer1->setEnabled(armed); }

void TForm1::SetStartDown(bool startDown) {
  (startDown ? btnStart : btnStop)->setChecked(true);
}

void TForm1::SetAddressEnabled(bool enabled) { cbURL->setEnabled(enabled); }

void TForm1::AddAddressToHistory(const std::string& address) {
  if (const std::optional<std::size_t> position = m_history.AddOnStart(address)) {
    InsertHistoryItem(*position, address);
  }
}

void TForm1::SetStartedPanel(const std::string& text) {
  StatusPanel0->setText(QString::fromStdString(text));
}

void TForm1::ShowMessage(const std::string& text) {
  m_dialogs->Message(this, QString::fromStdString(text));
}

}  // namespace quorvel
