#pragma once

#include <vector>

class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QStatusBar;
class QSystemTrayIcon;
class QToolButton;
class QWidget;

namespace quorvel {

class ChartView;
class PageControl;
class PlotTimer;
class SpinEdit;
class Swatch;
struct ChartModel;

// The widths of the three status-bar panels at design. The server's panel,
// the last, widens to show its text whole.
inline constexpr int kStatusPanelWidths[3] = {150, 320, 100};

// Every control of the main window, by its name. The window owns them (they
// are its children); each also carries its name as its object name, so that
// tests find it with findChild<>(name).
struct Form1Controls {
  // Toolbar.
  QFrame* Panel1 = nullptr;
  QFrame* Panel7 = nullptr;
  QLabel* Label11 = nullptr;
  QComboBox* cbURL = nullptr;
  QFrame* Panel5 = nullptr;
  QToolButton* btnStart = nullptr;
  QToolButton* btnStop = nullptr;
  QToolButton* btnClear = nullptr;
  QFrame* Panel6 = nullptr;
  QToolButton* btnSave = nullptr;
  QToolButton* btnCopy = nullptr;
  QToolButton* btnPrint = nullptr;
  QFrame* Panel9 = nullptr;
  QToolButton* btnHelp = nullptr;
  QFrame* Panel10 = nullptr;
  QLabel* Label13 = nullptr;

  // Pages.
  PageControl* PageControl1 = nullptr;
  QWidget* TabSheet1 = nullptr;
  QWidget* TabSheet2 = nullptr;
  ChartView* Chart1 = nullptr;
  QLabel* imgNoise = nullptr;
  PageControl* PageControl2 = nullptr;
  QWidget* TabSheet4 = nullptr;
  QWidget* TabSheet3 = nullptr;
  QWidget* TabSheet6 = nullptr;
  QWidget* TabSheet5 = nullptr;

  // "Graph Axes ".
  QLabel* Label2 = nullptr;
  SpinEdit* spX = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label5 = nullptr;
  SpinEdit* spPoints = nullptr;
  QLabel* Label12 = nullptr;
  QLabel* Label23 = nullptr;
  QLineEdit* edTitle = nullptr;
  QCheckBox* cbAppend = nullptr;
  QCheckBox* cbAppInterval = nullptr;
  QLabel* Label6 = nullptr;
  SpinEdit* spMax = nullptr;
  QLabel* Label18 = nullptr;
  SpinEdit* spMin = nullptr;
  QLabel* Label7 = nullptr;
  QLineEdit* edLabel = nullptr;

  // "Graph Style".
  QRadioButton* rbLine = nullptr;
  QRadioButton* rbArea = nullptr;
  QFrame* Panel8 = nullptr;
  QRadioButton* rbSteps = nullptr;
  QRadioButton* rbRamp = nullptr;
  Swatch* Shape1 = nullptr;
  QPushButton* btnDownColour = nullptr;
  Swatch* Shape2 = nullptr;
  QPushButton* btnAvgColour = nullptr;
  QCheckBox* cbPlotAvg = nullptr;
  Swatch* Shape3 = nullptr;
  QPushButton* btnBackColour = nullptr;
  Swatch* Shape5 = nullptr;
  QPushButton* btnBorderColour = nullptr;
  QLabel* Label4 = nullptr;
  QRadioButton* rbVertical = nullptr;
  QRadioButton* rbHorizontal = nullptr;
  Swatch* Shape4 = nullptr;
  QPushButton* btnAFont = nullptr;
  QPushButton* btnGrid = nullptr;
  QPushButton* btnFont = nullptr;
  QPushButton* btnTitleColour = nullptr;

  // "Image Capture".
  QCheckBox* cbCapture = nullptr;
  QLabel* Label14 = nullptr;
  QLineEdit* edFolder = nullptr;
  QPushButton* btnBrowse = nullptr;
  QCheckBox* cbWeb = nullptr;
  QPushButton* btnAdvanced = nullptr;
  QLabel* Label24 = nullptr;
  QLineEdit* edTemp = nullptr;
  QRadioButton* rbPercent = nullptr;
  SpinEdit* spPercent = nullptr;
  QLabel* Label3 = nullptr;
  QLabel* Label17 = nullptr;
  QLabel* Label20 = nullptr;
  QRadioButton* rbPixels = nullptr;
  SpinEdit* spGrWidth = nullptr;
  QLabel* Label16 = nullptr;
  SpinEdit* spGrHeight = nullptr;
  QFrame* Panel3 = nullptr;
  QLabel* Label21 = nullptr;
  QCheckBox* cbCaptured = nullptr;
  QCheckBox* cbHTTP = nullptr;
  QCheckBox* cbClip = nullptr;
  QCheckBox* cbPrint = nullptr;
  QLabel* Label22 = nullptr;
  QRadioButton* rbBMP = nullptr;
  QRadioButton* rbJPG = nullptr;
  QRadioButton* rbGIF = nullptr;
  QRadioButton* rbPNG = nullptr;
  QFrame* Panel4 = nullptr;
  QCheckBox* cbGray = nullptr;

  // "Options".
  QLabel* Label8 = nullptr;
  SpinEdit* spPages = nullptr;
  QLabel* Label9 = nullptr;
  QRadioButton* rbStop = nullptr;
  QRadioButton* rbRestart = nullptr;
  QLabel* Label10 = nullptr;
  QRadioButton* rbNoLog = nullptr;
  QRadioButton* rbAllLog = nullptr;
  QRadioButton* rbOnlyLog = nullptr;
  QFrame* Panel11 = nullptr;
  QRadioButton* rbPing = nullptr;
  QRadioButton* rbAvgPing = nullptr;
  QLabel* Label25 = nullptr;
  SpinEdit* spLog = nullptr;
  QLabel* Label26 = nullptr;
  QLabel* Label27 = nullptr;
  QLineEdit* edLog = nullptr;
  QPushButton* btnLogBrowse = nullptr;
  QGroupBox* GroupBox11 = nullptr;  // "System "
  QCheckBox* cbIgnore = nullptr;
  QPushButton* btnClearHistory = nullptr;
  QCheckBox* cbMinimize = nullptr;
  QCheckBox* cbShowAll = nullptr;
  QFrame* Panel2 = nullptr;
  QLabel* Label19 = nullptr;
  QLabel* Label15 = nullptr;
  QPlainTextEdit* Memo1 = nullptr;

  // Status bar.
  QStatusBar* StatusBar1 = nullptr;
  QLabel* StatusPanel0 = nullptr;
  QLabel* StatusPanel1 = nullptr;
  QLabel* StatusPanel2 = nullptr;
  // The alerts that are active, after the three panels; hidden while none is.
  QLabel* StatusPanel3 = nullptr;
  // The run figures beside the page tabs.
  QLabel* lblStatistics = nullptr;

  // Graph menu.
  QMenu* PopupMenu3 = nullptr;
  QAction* mnuMax = nullptr;
  QAction* mnuAvg = nullptr;
  QAction* mnuMin = nullptr;
  QAction* Copy2 = nullptr;
  QAction* Clear1 = nullptr;
  QAction* Save1 = nullptr;
  QAction* SaveAs1 = nullptr;
  QAction* Print1 = nullptr;
  QAction* PrinterSetup1 = nullptr;
  // Below the three statistics items: every run figure, one item each; at
  // the end the distribution view switch and the data export.
  std::vector<QAction*> statisticsItems;
  QAction* mnuDistribution = nullptr;
  QAction* ExportData1 = nullptr;
  // After them, in a group of their own: the Precise Scale view, the
  // desktop's colours for the graph, and the alert settings.
  QAction* mnuPreciseScale = nullptr;
  QAction* mnuDesktopColours = nullptr;
  QAction* mnuAlerts = nullptr;

  // Address box menu.
  QMenu* PopupMenu2 = nullptr;
  QAction* Cut1 = nullptr;
  QAction* Copy1 = nullptr;
  QAction* Paste1 = nullptr;
  QAction* DeletefromHistory1 = nullptr;

  PlotTimer* Timer1 = nullptr;

  // The notification-area icon and its menu.
  QSystemTrayIcon* TrayIcon = nullptr;
  QMenu* PopupMenu1 = nullptr;
  QAction* mnuRestore = nullptr;
  QAction* CloseQuorvel1 = nullptr;
};

// Makes every control of `form` at its design place and size (client area
// 799 x 480), the graph showing `chart`, which must outlive them. Nothing is
// connected yet.
void BuildForm1Controls(QWidget* form, const ChartModel& chart, Form1Controls& c);

}  // namespace quorvel
