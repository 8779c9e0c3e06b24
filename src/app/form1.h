#pragma once

#include <QPoint>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "stats/prometheus.h"
#include "app/form2.h"
#include "app/settingslocation.h"
#include "graph/appearance.h"
#include "graph/axiswindow.h"
#include "graph/chartmodel.h"
#include "graph/seriesstatistics.h"
#include "graph/verticallimits.h"
#include "output/imagetypes.h"
#include "run/addresshistory.h"
#include "run/logoptions.h"
#include "run/pinglog.h"
#include "run/plotrun.h"
#include "run/timeformat.h"
#include "web/httpserver.h"
#include "web/imagecache.h"
#include "web/webaccess.h"

class QAction;
class QImage;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QMenu;
class QMouseEvent;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QStatusBar;
class QSystemTrayIcon;
class QToolButton;

namespace quorvel {

class ChartView;
class ClosingDialogs;
class Dialogs;
class KeyPressFilter;
class PageControl;
class PlotTimer;
class SpinEdit;
class Swatch;

// The main window. It owns every control, the plot timer, the chart model and
// the plot run for its whole life. Its slots carry the names of the events
// they handle; each one calls into the widget-free core and shows an error
// raised there in a message box, as every handler of the program does.
//
// Controls carry their names as object names (and as member names), so tests
// find them with findChild<>(name). Setting a control from code runs its
// handler exactly as the user's change does: check boxes react to every
// change of their state, radio buttons when they become checked, value and
// edit boxes to every change of their text.
//
// `clock` must outlive the window. User-interface thread only.
// Where the window's surroundings come from; tests give their own.
struct Form1Environment {
  // Message boxes, dialogs and the beep; the desktop's own when null. Must
  // outlive the window.
  Dialogs* dialogs = nullptr;
  // The executable whose folder holds the settings file (".ini") and the
  // help document (".html"); the running program's own when empty.
  std::string executablePath;
  // The desktop's per-user folders, used where the executable's folder is
  // not writable (settingslocation.h); read from the environment when unset.
  std::optional<DesktopFolders> desktopFolders;
  // Says yes once the program has been asked to close from outside (a
  // signal, the desktop's log-off): from then on no modal box opens (their
  // texts go to standard error and the notification area) and a running
  // probe is cut short. Never asked when empty.
  std::function<bool()> closeRequestedFromOutside;
};

class TForm1 : public QWidget, private PlotRunHost {
  Q_OBJECT

 public:
  explicit TForm1(const Clock& clock, const Form1Environment& environment = {},
                  QWidget* parent = nullptr);
  ~TForm1() override;

  const ChartModel& chartModel() const { return m_chart; }
  const GraphAppearance& graphAppearance() const { return m_appearance; }
  const PlotRun& plotRun() const { return m_run; }
  std::int32_t pingTimeout() const { return m_pingTimeout; }

  // The size of the graph on screen. It fills the Graph page, and the answer
  // holds even while that page is hidden or the window not yet shown.
  QSize GraphSize() const;

  // Message boxes, dialogs and the beep go through `dialogs`, which must
  // outlive the window (the desktop's own by default).
  void SetDialogs(Dialogs& dialogs) { m_dialogs = &dialogs; }

  // The file-name character filter of the axis label, web image name and
  // log file name boxes: false refuses the key (with a beep).
  bool edLabelKeyPress(QObject* sender, QKeyEvent* key);

 signals:
  // The shut-down sequence has run and the window has closed: the program
  // ends (also when the window was hidden in the notification area).
  void closed();

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
  void Chart1Scroll();
  // Appearance and title.
  void edTitleChange();
  void edLabelChange();
  void spMaxExit();
  void spMinExit();
  void PageControl2Change();
  void TabSheet1Show();
  void rbLineClick();
  void rbStepsClick();
  void rbRampClick();
  void btnDownColourClick();
  void btnAvgColourClick();
  void btnBackColourClick();
  void btnBorderColourClick();
  void btnGridClick();
  void btnAFontClick();
  void btnFontClick();
  void btnTitleColourClick();  // the title font's colour (form1_desktop.cpp)
  void rbVerticalClick();
  void FormResize();
  // The window.
  void cbShowAllClick();

  // Image output (form1_output.cpp).
  // Capture Now: the graph into the capture folder under the axis label and
  // the time stamp. Also run by the graph menu's "Save" and by the shell at
  // close; an error is shown in a message box.
  void btnSaveClick();
  void SaveAs1Click();
  void btnBrowseClick();
  void edFolderChange();
  void cbCaptureClick();
  void rbPercentClick();  // either size-mode button
  void spPercentChange();
  void btnCopyClick();
  void Copy2Click();
  void btnPrintClick();
  void Print1Click();
  void PrinterSetup1Click();

  // Run statistics, distribution view and data export (form1_stats.cpp).
  void mnuDistributionClick();
  void ExportData1Click();

  // Web server (form1_web.cpp).
  void cbWebClick();
  void edTempExit();
  void edTempChange();
  void btnAdvancedClick();

 public:
  // Starts listening on the port of the access settings, or only refreshes
  // the status text when the server already listens. A failure clears
  // cbWeb and shows the network layer's text in one message box.
  void StartServer();
  // Stops listening; requests waiting for a render get no reply. Returns
  // promptly, whatever the clients do. The status panel is left as it is.
  void StopServer();
  bool ServerListening() const;
  // The access settings, loaded and saved with the settings file and edited
  // through the access dialog. Whoever changes them outside the dialog does
  // so before the server starts.
  WebAccessSettings& webAccess() { return m_webAccess; }
  // Creates the access dialog, which copies the access settings into its
  // controls: once, after the settings have been loaded. The window owns it.
  void CreateAccessDialog();
  TForm2* accessDialog() const { return Form2.get(); }
  // Where the server listens and its limits; tests bind it to loopback.
  // Takes effect at the next start.
  void SetWebServerOptions(const HttpServerOptions& options) { m_webServerOptions = options; }

 public slots:
  // Ping log and address history (form1_log.cpp).
  // Log options.
  void rbAllLogClick();
  void btnLogBrowseClick();
  void edLogChange();
  void edLogExit();
  // Address box.
  void cbURLCloseUp();
  void PopupMenu2Popup();
  void Cut1Click();
  void Copy1Click();
  void Paste1Click();
  void DeletefromHistory1Click();
  void btnClearHistoryClick();

 public:
  // The address history as the settings file stores it: the entries in list
  // order (CB0, CB1, ...), and the load that adds each entry, in index order,
  // at its sorted place (the list is empty when the load pass runs). Loading
  // changes neither the address text nor the selected position.
  std::vector<std::string> AddressHistoryEntries() const;
  void LoadAddressHistory(const std::vector<std::string>& entries);

 public slots:

  // Shell (form1_shell.cpp).
  // The settings file: beside the executable where its folder is writable,
  // else in the desktop's per-user configuration folder.
  const std::string& settingsPath() const { return m_settingsPath; }
  const std::string& helpPath() const { return m_helpPath; }
  // The tray icon's minimise-to-tray switch (cbMinimize copies into it).
  bool minimizeToTray() const { return m_minimizeToTray; }
  void btnHelpClick();
  void cbMinimizeClick();
  void mnuRestoreClick();
  void CloseQuorvel1Click();
  void Label19Click();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  // Construction, in form1_layout.cpp.
  void CreateControls();
  void CreateToolbar();
  void CreateStatusBar();
  void CreateGraphPage();
  void CreateSetupPages();
  void CreateGraphAxesPage();
  void CreateGraphStylePage();
  void CreateImageCapturePage();
  void CreateOptionsPage();
  void CreateMenus();
  void ConnectHandlers();
  void AnchorControls();

  // Start-up, shut-down and the settings file (form1_settings.cpp).
  void StartUp();
  void ShutDown();
  // The load pass: every key in its order, each value put into its control
  // (whose handler runs) or in-memory setting; then the title's "^" become
  // blanks.
  void LoadSettings();
  // The save pass: the title's blanks become "^", then every key in its
  // order from where it lives; the file is replaced whole or not at all.
  void SaveSettings();
  struct SettingBinding;
  std::vector<SettingBinding> SettingBindings();
  void ApplyLoadedAppearance();

  // The graph (form1_graph.cpp).
  void Chart1MouseDown(QMouseEvent* event);
  void Chart1MouseMove(QMouseEvent* event);
  void Chart1MouseUp(QMouseEvent* event);
  void LimitBoxLeft(LimitBox box);
  std::optional<Colour> PickColour(Colour initial);
  void ChartChanged();
  static NumberFormat StatisticsFormat();
  void ShowStatistics(const StatisticsCaptions& captions);

  // Run statistics (form1_stats.cpp).
  void ConnectStatisticsHandlers();
  // The statistics after a change of the ping points: the status panel, its
  // tooltip, the graph menu's lines and the copy the web server reads.
  void ShowRunStatistics();
  // The status panel shows the fullest statistics line that fits it.
  void FitStatisticsLine();
  // The documents beside the web image: "/" + the image name with ".json"
  // for its extension, the statistics; "/metrics", the Prometheus metrics,
  // where the access settings switch them on. Runs on request threads.
  DocumentCallback StatisticsDocuments();

  // Image output (form1_output.cpp).
  // The graph drawn afresh into a new true-colour raster (Format_RGB32) at
  // the size the image-size rule gives `target`, grayed when "Convert to
  // grayscale" is checked. Throws UserError when no raster can be made.
  QImage RenderGraphBitmap(OutputTarget target);
  void ConnectOutputHandlers();
  // The folder picker: the chosen folder, or the text of edFolder on Cancel.
  QString GetFolder(QWidget* owner);
  // edFolder names an existing directory.
  bool CaptureFolderExists() const;
  // The type of the checked type button (ImageTypeFromButtons).
  ImageType ChosenImageType() const;
  // Capture Now without the message box: throws UserError.
  void CaptureGraph();
  // Writes `image` (Format_RGB32) whole into `fileName` as `type` at the
  // JPEG quality of image files; throws UserError with the system's text.
  void WriteImageFile(const QImage& image, ImageType type, const QString& fileName);
  // Prints the graph on the window's printer; throws UserError.
  void PrintGraph();
  // Owns the printer of every print job, made on first use and kept for the
  // window's life so that the choices made in the print dialogs stay in
  // force; a child object of the window.
  class PrinterHolder;
  PrinterHolder* m_printerHolder = nullptr;
  PrinterHolder& Printer();

  // Web server (form1_web.cpp).
  void ConnectWebHandlers();
  // The window's side of the request handler: the context each request
  // reads afresh (on its own thread) and the render it hands to this thread.
  HttpServerHooks HTTPServerCommandGet();
  // The web image drawn and encoded into a new buffer, in the chosen type,
  // JPEG at quality 100. Throws with the text of the 500 reply.
  ImageBytes SaveTemp();
  // Copies the access settings and the web image name for request threads.
  void PublishWebContext();
  // Something the web image depends on has changed: a cached image is stale.
  void WebImageChanged();

  // Web server state. Request threads touch only the context, under its
  // mutex, and the image cache; the server is declared last, so that it is
  // stopped (its threads joined) before anything they use goes away.
  WebAccessSettings m_webAccess;
  std::unique_ptr<TForm2> Form2;  // a child window; goes before the settings it edits
  HttpServerOptions m_webServerOptions;
  std::mutex m_webContextMutex;
  WebContext m_webContext;
  std::shared_ptr<ImageCache> m_webImages = std::make_shared<ImageCache>();
  // The statistics as request threads read them, with the address measured.
  std::mutex m_statisticsMutex;
  std::string m_publishedJson;
  std::optional<TargetMetrics> m_publishedMetrics;  // none before the first sample
  std::string m_serverAddress;  // the address and port shown since the last start
  int m_serverPort = 0;
  std::unique_ptr<HttpServer> m_server;  // made afresh at every start

  // Ping log and address history (form1_log.cpp).
  void ConnectLogHandlers();
  // Lets the user choose the log file; the dialog proposes a name made from
  // `address`.
  void LogBrowse(const std::string& address);
  LogModeChecks LogChecks() const;
  std::string LogFileName() const;
  // The text of the history entry at the selected position, empty when none
  // is selected.
  std::string SelectedHistoryEntry() const;
  // Asks "Change Log filename?".
  bool AskChangeLogName();
  // Puts `caption` on the window when there is one.
  void SetLogCaption(const std::optional<std::string>& caption);
  // The typing completion, after each edit made by the user.
  void cbURLTextEdited(const QString& text);
  // Sets the address text without the box's change event.
  void SetAddressQuietly(const QString& text);
  // Puts the entry the history inserted at `position` into the drop-down
  // list; the address text and the selected position stay.
  void InsertHistoryItem(std::size_t position, const std::string& entry);

  // The address box list mirrors m_history item for item.
  AddressHistory m_history;
  PosixFileAppender m_logFiles;
  // The address text and its selected length just before a key reached the
  // box: an edit that leaves more than the unselected rest inserted text.
  struct AddressBeforeEdit {
    QString text;
    int selectedLength = 0;
  };
  std::optional<AddressBeforeEdit> m_addressBeforeEdit;

  // Shell (form1_shell.cpp).
  void ConnectShellHandlers();
  void ShowHelpWindow();
  // Text colours from the desktop's palette; the blue captions and the
  // maroon "STOPPED" made readable on it (form1_desktop.cpp). Runs again
  // whenever the palette changes.
  void ApplyTextColours();
  // The window is closing, or the program was asked to close from outside:
  // a running probe stops.
  bool ProbeCancelled() const;

  // Thrown out of RunProbe when the probe was cut short because the window
  // is closing: the tick ends there, and Guarded lets it pass silently.
  struct ProbeStopped : std::exception {
    const char* what() const noexcept override { return "the ping was stopped: Quorvel is closing"; }
  };

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
  void AddPoint(const Sample& sample) override;
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
  Dialogs* m_dialogs;
  ChartModel m_chart;
  GraphAppearance m_appearance;
  VerticalLimits m_limits;
  PlotRun m_run;
  std::int32_t m_pingTimeout = 3000;
  std::string m_response;      // the text Memo1 shows
  bool m_tickRunning = false;  // one tick at a time
  bool m_startPending = false;  // Start pressed during a tick
  // Panning: the primary button went down on the plot area.
  bool m_panning = false;
  QPoint m_panFrom;
  PanDirections m_allowPanning = PanDirections::Both;

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

  // The run statistics line beside the page tabs, and its texts, fullest first.
  QLabel* lblStatistics = nullptr;
  std::vector<std::string> m_statisticsLines;

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
  std::vector<QAction*> m_statisticsItems;
  QAction* mnuDistribution = nullptr;
  QAction* ExportData1 = nullptr;

  // Address box menu.
  QMenu* PopupMenu2 = nullptr;
  QAction* Cut1 = nullptr;
  QAction* Copy1 = nullptr;
  QAction* Paste1 = nullptr;
  QAction* DeletefromHistory1 = nullptr;

  KeyPressFilter* m_fileNameFilter = nullptr;
  PlotTimer* Timer1 = nullptr;

  // Shell: the notification-area icon and its menu, the help file.
  QSystemTrayIcon* TrayIcon = nullptr;
  QMenu* PopupMenu1 = nullptr;
  QAction* mnuRestore = nullptr;
  QAction* CloseQuorvel1 = nullptr;
  bool m_minimizeToTray = false;
  bool m_shutDown = false;  // the shut-down sequence has run
  bool m_lower = false;     // carried from load to save unchanged
  std::string m_executablePath;
  std::string m_settingsPath;      // where the settings are saved
  std::string m_settingsLoadPath;  // where they were read from
  std::string m_helpPath;
  bool m_helpInstalled = false;    // written at start: Help opens the file
  QWidget* m_helpWindow = nullptr;
  std::function<bool()> m_closeRequestedFromOutside;
  std::optional<DesktopFolders> m_desktopFolders;
  std::unique_ptr<ClosingDialogs> m_closingDialogs;
};

}  // namespace quorvel
