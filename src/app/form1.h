#pragma once

#include <QWidget>

#include <cstdint>
#include <functional>
#include <string>

#include "graph/appearance.h"
#include "graph/chartmodel.h"
#include "run/plotrun.h"
#include "run/timeformat.h"

class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QMenu;
class QAction;
class QPlainTextEdit;
class QRadioButton;
class QStatusBar;
class QTabWidget;
class QToolButton;

namespace quorvel {

class ChartView;
class PlotTimer;
class SpinEdit;

// The main window. It owns every control, the plot timer, the chart model and
// the plot run for its whole life. Its slots carry the names of the events
// they handle; each one calls into the widget-free core and shows an error
// raised there in a message box, as every handler of the program does.
//
// Controls carry their names as object names, so tests find them with
// findChild<>(name).
class TForm1 : public QWidget, private PlotRunHost {
  Q_OBJECT

 public:
  explicit TForm1(const Clock& clock, QWidget* parent = nullptr);
  ~TForm1() override;

  const ChartModel& chartModel() const { return m_chart; }
  const PlotRun& plotRun() const { return m_run; }
  std::int32_t pingTimeout() const { return m_pingTimeout; }

 public slots:
  // Plot run.
  void btnStartClick();
  void btnStopClick();
  void Timer1Timer();
  // Series and window.
  void btnClearClick();
  void Clear1Click();
  void spXChange();
  void spPointsChange();
  void PopupMenu3Popup();
  void cbShowAllClick();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  // Construction, in form1_layout.cpp.
  void CreateControls();
  void CreateToolbar();
  void CreateGraphPage();
  void CreateSetupPages();
  void ConnectHandlers();

  // Start-up and the settings (form1_settings.cpp).
  void StartUp();
  void LoadSettings();

  // Chart mouse handling (form1_graph.cpp).
  void Chart1MouseDown(QMouseEvent* event);
  void Chart1MouseUp(QMouseEvent* event);

  // Shows the text of an error raised in a handler.
  void ShowError(const std::string& message);
  // Runs a handler body; an error raised in it ends it and is shown.
  void Guarded(const std::function<void()>& body);

  // PlotRunHost, in form1_run.cpp.
  std::string Address() override;
  std::int32_t PingTimeout() override;
  Colour PlotColour() override;
  bool IgnoreFirstPing() override;
  int Pages() override;
  int PointsPerPage() override;
  bool StopAtLimit() override;
  bool RestartAtLimit() override;
  bool CaptureReady() override;
  void ClearResponse() override;
  void RunProbe(const std::string& commandLine) override;
  std::string ResponseText() override;
  void ShowReplyLine(const std::string& line) override;
  void AddPoint(std::int32_t value, Colour colour) override;
  void PageReset() override;
  void CaptureNow() override;
  void WindowStep(std::int32_t windowTickCount) override;
  double StatisticsStep(std::int32_t value) override;
  void LogStep(const std::string& sampleText, double comparison) override;
  void ShowGraphPage() override;
  void ShowStoppedLabel(bool shown) override;
  void SetTimerArmed(bool armed) override;
  void SetStartDown(bool startDown) override;
  void SetAddressEnabled(bool enabled) override;
  void AddAddressToHistory(const std::string& address) override;
  void SetStartedPanel(const std::string& text) override;
  void ShowMessage(const std::string& text) override;

  const Clock& m_clock;
  ChartModel m_chart;
  GraphAppearance m_appearance;
  PlotRun m_run;
  std::int32_t m_pingTimeout = 3000;
  std::string m_response;      // the text Memo1 shows
  bool m_tickRunning = false;  // one tick at a time
  bool m_startPending = false;  // Start pressed during a tick

  // Toolbar.
  QFrame* Panel1 = nullptr;
  QLabel* Label11 = nullptr;
  QComboBox* cbURL = nullptr;
  QToolButton* btnStart = nullptr;
  QToolButton* btnStop = nullptr;
  QToolButton* btnClear = nullptr;
  QLabel* Label13 = nullptr;

  // Pages.
  QTabWidget* PageControl1 = nullptr;
  QWidget* TabSheet1 = nullptr;
  QWidget* TabSheet2 = nullptr;
  ChartView* Chart1 = nullptr;
  QTabWidget* PageControl2 = nullptr;
  QWidget* TabSheet4 = nullptr;
  QWidget* TabSheet3 = nullptr;
  QWidget* TabSheet6 = nullptr;
  QWidget* TabSheet5 = nullptr;

  // "Graph Axes ".
  SpinEdit* spX = nullptr;
  SpinEdit* spPoints = nullptr;
  QLabel* Label12 = nullptr;
  SpinEdit* spMax = nullptr;
  SpinEdit* spMin = nullptr;

  // "Graph Style".
  QCheckBox* cbPlotAvg = nullptr;

  // "Options".
  SpinEdit* spPages = nullptr;
  QRadioButton* rbStop = nullptr;
  QRadioButton* rbRestart = nullptr;
  QCheckBox* cbIgnore = nullptr;
  QCheckBox* cbShowAll = nullptr;
  QRadioButton* rbPing = nullptr;
  QRadioButton* rbAvgPing = nullptr;
  QPlainTextEdit* Memo1 = nullptr;

  // Status bar.
  QStatusBar* StatusBar1 = nullptr;
  QLabel* StatusPanel0 = nullptr;
  QLabel* StatusPanel1 = nullptr;
  QLabel* StatusPanel2 = nullptr;

  // Graph menu.
  QMenu* PopupMenu3 = nullptr;
  QAction* mnuMax = nullptr;
  QAction* mnuAvg = nullptr;
  QAction* mnuMin = nullptr;
  QAction* Clear1 = nullptr;

  PlotTimer* Timer1 = nullptr;
};

}  // namespace quorvel
