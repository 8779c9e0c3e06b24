#pragma once

#include <QPoint>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/form1controls.h"
#include "app/form2.h"
#include "app/settingslocation.h"
#include "graph/axiswindow.h"
#include "run/plotsession.h"
#include "run/timeformat.h"
#include "settings/settings.h"
#include "web/httpserver.h"

class QKeyEvent;
class QMouseEvent;

namespace quorvel {

class AlertNotifier;
class Dialogs;
class ClosingDialogs;
class WindowAlerts;
class GraphOutput;
class WindowWebServer;

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
  // The user's home, Pictures and Documents folders, where files start in
  // an installed copy (settingslocation.h); QStandardPaths' when unset.
  std::optional<UserFolders> userFolders;
  // Says yes once the program has been asked to close from outside (a
  // signal, the desktop's log-off): from then on no modal box opens (their
  // texts go to standard error and the notification area) and a running
  // probe is cut short. Never asked when empty.
  std::function<bool()> closeRequestedFromOutside;
  // Where alert notifications go; the desktop's when null. Must outlive the
  // window.
  AlertNotifier* alertNotifier = nullptr;
};

// The main window: a thin shell over the widget-free core. It owns every
// control (Form1Controls, by their names), the plot timer, the typed
// Settings the controls show, and the PlotSession that runs the plot and
// holds the graph and its figures.
//
// Each control's change reaches the Settings value first (one binding per
// settings key, form1_settings.cpp), then the handler named after the
// control and event runs, reading the Settings value. Setting a control from
// code has the same effect as the user's change, which the load pass relies
// on. Renders, captures, the web image and printing read the Settings value,
// never the controls. An error raised in a handler is shown in a message box.
//
// `clock` must outlive the window. User-interface thread only.
class TForm1 : public QWidget, private Form1Controls {
  Q_OBJECT

 public:
  explicit TForm1(const LocalClock& clock, const Form1Environment& environment = {},
                  QWidget* parent = nullptr);
  ~TForm1() override;

  const PlotSession& session() const { return *m_session; }
  const Settings& settings() const { return m_settings; }
  // The access settings, loaded and saved with the settings file and edited
  // through the access dialog. Whoever changes them outside the dialog does
  // so before the server starts.
  WebAccessSettings& webAccess() { return m_settings.web.access; }
  // The size of the graph on screen. It fills the Graph page, and the answer
  // holds even while that page is hidden or the window not yet shown.
  QSize GraphSize() const;
  // The settings file, the help document and the tray switch.
  const ProgramFiles& files() const { return m_files; }
  bool minimizeToTray() const { return m_minimizeToTray; }

  // The file-name character filter of the axis label, web image name and
  // log file name boxes: false refuses the key (with a beep).
  bool edLabelKeyPress(QObject* sender, QKeyEvent* key);

  // Starts listening on the port of the access settings, or only refreshes
  // the status text when the server already listens. A failure clears
  // cbWeb and shows its text in one message box.
  void StartServer();
  WindowWebServer& webServer() { return *m_web; }
  // Creates the access dialog, which copies the access settings into its
  // controls: once, after the settings have been loaded. The window owns it.
  void CreateAccessDialog();
  TForm2* accessDialog() const { return Form2.get(); }
  // Puts `address` in the address box and starts a run with it, as typing
  // it and pressing Start would; a run in progress is stopped first.
  void OpenAddress(const std::string& address);
  // The address history as the settings file stores it, added in index
  // order, each at its sorted place.
  void LoadAddressHistory(const std::vector<std::string>& entries);

 signals:
  // The shut-down sequence has run and the window has closed: the program
  // ends (also when the window was hidden in the notification area).
  void closed();

 public slots:
  // Plot run (form1_run.cpp).
  void btnStartClick();
  void btnStopClick();
  void Timer1Timer();
  // Series, window, look and title (form1_graph.cpp).
  void btnClearClick();
  void Clear1Click();
  void spXChange();
  void spPointsChange();
  void PopupMenu3Popup();
  void Chart1Scroll();
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
  void btnTitleColourClick();
  void rbVerticalClick();
  void FormResize();
  void cbShowAllClick();
  void Chart1MouseDown(QMouseEvent* event);
  void Chart1MouseMove(QMouseEvent* event);
  void Chart1MouseUp(QMouseEvent* event);
  // Images, clipboard and printing (form1_output.cpp).
  void btnSaveClick();
  void SaveAs1Click();
  void btnBrowseClick();
  void edFolderChange();
  void cbCaptureClick();
  void rbPercentClick();
  void spPercentChange();
  void btnCopyClick();
  void Copy2Click();
  void btnPrintClick();
  void Print1Click();
  void PrinterSetup1Click();
  void mnuDistributionClick();
  void ExportData1Click();
  // Beyond the original set (form1_extras.cpp).
  void mnuPreciseScaleClick();
  void mnuDesktopColoursClick();
  void mnuAlertsClick();
  // Web server (form1_web.cpp).
  void cbWebClick();
  void edTempExit();
  void edTempChange();
  void btnAdvancedClick();
  // Ping log and address history (form1_log.cpp).
  void rbAllLogClick();
  void btnLogBrowseClick();
  void edLogChange();
  void edLogExit();
  void cbURLCloseUp();
  void PopupMenu2Popup();
  void Cut1Click();
  void Copy1Click();
  void Paste1Click();
  void DeletefromHistory1Click();
  void btnClearHistoryClick();
  // Shell (form1_shell.cpp).
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
  class SessionView;  // the session's listener (form1_run.cpp)
  struct Binding;     // one settings key and its control (form1_settings.cpp)

  // Start-up, shut-down and the settings file (form1_settings.cpp).
  std::vector<Binding> BindSettings();
  void StartUp(const std::vector<Binding>& bindings);
  // Stops the server, takes the capture at close, saves the settings and
  // removes the help document; once.
  void ShutDown();
  void ConnectHandlers();

  // The chart or its figures changed: redraw, the web image is stale, the
  // figures beside the tabs follow.
  void ChartChanged();
  // What the web server serves and checks against, from the settings.
  void PublishWeb();
  // The alert rules and actions of the settings take effect.
  void ApplyAlertSettings();
  // Lets the user choose the log file; the dialog proposes a name made from
  // `address`.
  void LogBrowse(const std::string& address);
  // The folder picker: the chosen folder, or the text of edFolder on Cancel.
  QString GetFolder(QWidget* owner);

  const LocalClock& m_clock;
  Dialogs* m_dialogs;
  std::unique_ptr<ClosingDialogs> m_closingDialogs;
  Settings m_settings;
  PosixFileAppender m_logFiles;
  std::unique_ptr<SessionView> m_view;
  std::unique_ptr<PlotSession> m_session;
  std::unique_ptr<GraphOutput> m_output;
  std::unique_ptr<TForm2> Form2;  // a child window; goes before the settings it edits
  std::unique_ptr<WindowWebServer> m_web;  // stopped before anything it reads goes away
  AlertNotifier* m_notifier = nullptr;
  std::unique_ptr<WindowAlerts> m_alerts;

  // Panning: the primary button went down on the plot area.
  bool m_panning = false;
  QPoint m_panFrom;
  PanDirections m_allowPanning = PanDirections::Both;
  // The address text and its selected length just before a key reached the
  // box: an edit that leaves more than the unselected rest inserted text.
  std::optional<std::pair<QString, int>> m_addressBeforeEdit;
  std::vector<std::string> m_statisticsLines;  // fullest first

  // Shell.
  std::string m_executablePath;
  std::optional<DesktopFolders> m_desktopFolders;
  std::optional<UserFolders> m_userFoldersGiven;
  std::function<bool()> m_closeRequestedFromOutside;
  ProgramFiles m_files;
  UserFileFolders m_userFolders;  // where captures, Save As and the log start
  bool m_minimizeToTray = false;
  bool m_shutDown = false;         // the shut-down sequence has run
  bool m_helpInstalled = false;    // written at start: Help opens the file
};

}  // namespace quorvel
