// The main window's construction, start-up and shut-down, and the one place
// where each settings key meets its control.
#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QStandardPaths>
#include <QSystemTrayIcon>
#include <QToolButton>

#include <ctime>
#include <iostream>
#include <utility>

#include "app/chartview.h"
#include "app/alertnotifier.h"
#include "app/closingdialogs.h"
#include "app/controls.h"
#include "app/dialogs.h"
#include "app/fontchoice.h"
#include "app/form1.h"
#include "app/form1sessionview.h"
#include "app/graphoutput.h"
#include "app/helpfile.h"
#include "app/plottimer.h"
#include "app/windowalerts.h"
#include "app/windowweb.h"
#include "graph/chartrenderer.h"
#include "graph/pagecaption.h"
#include "probe/pingchild.h"
#include "settings/settingkeys.h"
#include "settings/settingsfile.h"

namespace quorvel {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }

// A field of the Settings value, found in any instance of it.
template <typename T>
using Field = T& (*)(Settings&);

template <typename T>
const T& Read(Field<T> field, const Settings& s) {
  return field(const_cast<Settings&>(s));
}

}  // namespace

// One settings key: how the value loaded for it reaches its control (whose
// handler then runs, as for the user's change) or its in-memory home, and
// how the control's value reaches the Settings value on every change.
struct TForm1::Binding {
  std::string_view key;
  std::function<void(const Settings& loaded)> apply;
  std::function<void()> store;  // empty for values without a control
};

std::vector<TForm1::Binding> TForm1::BindSettings() {
  std::vector<Binding> b;
  // A control's value reaches m_settings before any handler of its change
  // runs: these connections are made before ConnectHandlers' are.
  auto add = [&b](std::string_view key, std::function<void(const Settings&)> apply,
                  std::function<void()> store) {
    b.push_back({key, std::move(apply), std::move(store)});
  };
  auto check = [&](std::string_view key, QCheckBox* box, Field<bool> field) {
    auto store = [this, box, field] { field(m_settings) = box->isChecked(); };
    connect(box, &QCheckBox::toggled, this, store);
    add(key, [box, field](const Settings& l) { box->setChecked(Read(field, l)); }, store);
  };
  auto radio = [&](std::string_view key, QRadioButton* button, Field<bool> field) {
    auto store = [this, button, field] { field(m_settings) = button->isChecked(); };
    connect(button, &QRadioButton::toggled, this, store);
    add(key, [button, field](const Settings& l) { SetRadioChecked(button, Read(field, l)); }, store);
  };
  auto spin = [&](std::string_view key, SpinEdit* box, Field<std::int32_t> field) {
    auto store = [this, box, field] { field(m_settings) = box->Value(); };
    connect(box, &SpinEdit::changed, this, store);
    add(key, [box, field](const Settings& l) { box->setValue(Read(field, l)); }, store);
  };
  auto spinInt = [&](std::string_view key, SpinEdit* box, Field<int> field) {
    auto store = [this, box, field] { field(m_settings) = box->Value(); };
    connect(box, &SpinEdit::changed, this, store);
    add(key, [box, field](const Settings& l) { box->setValue(Read(field, l)); }, store);
  };
  auto text = [&](std::string_view key, QLineEdit* edit, Field<std::string> field) {
    auto store = [this, edit, field] { field(m_settings) = S(edit->text()); };
    connect(edit, &QLineEdit::textChanged, this, store);
    add(key, [edit, field](const Settings& l) { edit->setText(Q(Read(field, l))); }, store);
  };
  // Values that live in memory only.
  auto memory = [&](std::string_view key, auto field) {
    add(key, [this, field](const Settings& l) { field(m_settings) = field(const_cast<Settings&>(l)); }, nullptr);
  };

  // Taking the address quietly (SetAddressQuietly) stores it too.
  {
    auto store = [this] { m_settings.run.address = S(cbURL->currentText()); };
    connect(cbURL, &QComboBox::editTextChanged, this, store);
    add("URL", [this](const Settings& l) { cbURL->setEditText(Q(l.run.address)); }, store);
  }
  radio("Stop", rbStop, [](Settings& s) -> bool& { return s.run.stopAtLimit; });
  radio("Restart", rbRestart, [](Settings& s) -> bool& { return s.run.restartAtLimit; });
  spin("Time", spX, [](Settings& s) -> std::int32_t& { return s.run.intervalSeconds; });
  spin("Points", spPoints, [](Settings& s) -> std::int32_t& { return s.run.pointsPerPage; });
  spin("Max", spMax, [](Settings& s) -> std::int32_t& { return s.graph.verticalMax; });
  spin("Min", spMin, [](Settings& s) -> std::int32_t& { return s.graph.verticalMin; });
  radio("Line", rbLine, [](Settings& s) -> bool& { return s.graph.line; });
  radio("Area", rbArea, [](Settings& s) -> bool& { return s.graph.area; });
  radio("Steps", rbSteps, [](Settings& s) -> bool& { return s.graph.steps; });
  radio("Ramp", rbRamp, [](Settings& s) -> bool& { return s.graph.ramp; });
  // The down state of Start; pressing it is left to the end of start-up.
  {
    auto store = [this] { m_settings.run.startDown = btnStart->isChecked(); };
    connect(btnStart, &QToolButton::toggled, this, store);
    add("Run", [this](const Settings& l) { if (l.run.startDown) btnStart->setChecked(true); }, store);
  }
  check("ShowAll", cbShowAll, [](Settings& s) -> bool& { return s.window.showAll; });
  check("Capture", cbCapture, [](Settings& s) -> bool& { return s.run.capture; });
  text("Folder", edFolder, [](Settings& s) -> std::string& { return s.run.captureFolder; });
  text("Label", edLabel, [](Settings& s) -> std::string& { return s.graph.label; });
  text("Title", edTitle, [](Settings& s) -> std::string& { return s.graph.title; });
  spin("Pages", spPages, [](Settings& s) -> std::int32_t& { return s.run.pages; });
  check("Minimize", cbMinimize, [](Settings& s) -> bool& { return s.window.minimizeToTray; });
  check("Ignore", cbIgnore, [](Settings& s) -> bool& { return s.run.ignoreFirst; });
  add("CCount", [this](const Settings& l) { LoadAddressHistory(l.history); }, nullptr);
  check("Web", cbWeb, [](Settings& s) -> bool& { return s.web.active; });
  text("Temp", edTemp, [](Settings& s) -> std::string& { return s.web.imageName; });
  memory("Auth", [](Settings& s) -> bool& { return s.web.access.AuthRequired; });
  memory("Lower", [](Settings& s) -> bool& { return s.window.lower; });
  memory("User", [](Settings& s) -> std::string& { return s.web.access.UserName; });
  memory("Pass", [](Settings& s) -> std::string& { return s.web.access.Password; });
  memory("Port", [](Settings& s) -> int& { return s.web.access.Port; });
  memory("Border", [](Settings& s) -> Colour& { return s.graph.border; });
  memory("Plot", [](Settings& s) -> Colour& { return s.graph.plot; });
  memory("AvgPlot", [](Settings& s) -> Colour& { return s.graph.average; });
  check("PlotAvg", cbPlotAvg, [](Settings& s) -> bool& { return s.graph.plotAverage; });
  memory("Back", [](Settings& s) -> Colour& { return s.graph.back; });
  memory("Left", [](Settings& s) -> Colour& { return s.graph.axesText; });
  memory("Grid", [](Settings& s) -> Colour& { return s.graph.grid; });
  spinInt("Height", spGrHeight, [](Settings& s) -> int& { return s.image.pixelHeight; });
  spinInt("Width", spGrWidth, [](Settings& s) -> int& { return s.image.pixelWidth; });
  check("HTTP", cbHTTP, [](Settings& s) -> bool& { return s.image.webImage; });
  check("Cap", cbCaptured, [](Settings& s) -> bool& { return s.image.capturedImages; });
  check("Clip", cbClip, [](Settings& s) -> bool& { return s.image.clipboard; });
  check("Print", cbPrint, [](Settings& s) -> bool& { return s.image.printer; });
  radio("rbPercent", rbPercent, [](Settings& s) -> bool& { return s.image.percentMode; });
  radio("rbPixels", rbPixels, [](Settings& s) -> bool& { return s.image.pixelsMode; });
  spinInt("spPercent", spPercent, [](Settings& s) -> int& { return s.image.percent; });
  memory("Colour", [](Settings& s) -> Colour& { return s.graph.titleFont.colour; });
  memory("FontName", [](Settings& s) -> std::string& { return s.graph.titleFont.name; });
  memory("FontSize", [](Settings& s) -> int& { return s.graph.titleFont.pointSize; });
  memory("FontStyle", [](Settings& s) -> int& { return s.graph.titleFont.style; });
  radio("JPG", rbJPG, [](Settings& s) -> bool& { return s.image.jpg; });
  radio("GIF", rbGIF, [](Settings& s) -> bool& { return s.image.gif; });
  radio("BMP", rbBMP, [](Settings& s) -> bool& { return s.image.bmp; });
  radio("PNG", rbPNG, [](Settings& s) -> bool& { return s.image.png; });
  check("Gray", cbGray, [](Settings& s) -> bool& { return s.image.gray; });
  check("Append", cbAppend, [](Settings& s) -> bool& { return s.graph.appendAddress; });
  check("AppInterval", cbAppInterval, [](Settings& s) -> bool& { return s.graph.appendInterval; });
  radio("Vertical", rbVertical, [](Settings& s) -> bool& { return s.graph.verticalLabels; });
  radio("Horizontal", rbHorizontal, [](Settings& s) -> bool& { return s.graph.horizontalLabels; });
  radio("NoLog", rbNoLog, [](Settings& s) -> bool& { return s.run.log.mode.noLog; });
  radio("AllLog", rbAllLog, [](Settings& s) -> bool& { return s.run.log.mode.allLog; });
  radio("OnlyLog", rbOnlyLog, [](Settings& s) -> bool& { return s.run.log.mode.onlyLog; });
  radio("Ping", rbPing, [](Settings& s) -> bool& { return s.run.logComparesPing; });
  radio("AvgPing", rbAvgPing, [](Settings& s) -> bool& { return s.run.logComparesAverage; });
  spinInt("LogVal", spLog, [](Settings& s) -> int& { return s.run.log.threshold; });
  text("LogFile", edLog, [](Settings& s) -> std::string& { return s.run.log.fileName; });
  // [Quorvel].
  memory("Metrics", [](Settings& s) -> bool& { return s.extras.metrics; });
  auto item = [&](std::string_view key, QAction* action, Field<bool> field) {
    auto store = [this, action, field] { field(m_settings) = action->isChecked(); };
    connect(action, &QAction::toggled, this, store);
    add(key, [action, field](const Settings& l) { action->setChecked(Read(field, l)); }, store);
  };
  item("Distribution", mnuDistribution, [](Settings& s) -> bool& { return s.extras.distribution; });
  item("PreciseScale", mnuPreciseScale, [](Settings& s) -> bool& { return s.extras.preciseScale; });
  item("DesktopColours", mnuDesktopColours,
       [](Settings& s) -> bool& { return s.extras.desktopColours; });
  memory("LivePage", [](Settings& s) -> bool& { return s.extras.livePage; });
  // The alert settings, edited in the alerts dialog; in force once loaded.
  memory("AlertLostOn", [](Settings& s) -> bool& { return s.extras.alerts.lostOn; });
  memory("AlertLost", [](Settings& s) -> std::string& { return s.extras.alerts.lost; });
  memory("AlertLossOn", [](Settings& s) -> bool& { return s.extras.alerts.lossOn; });
  memory("AlertLoss", [](Settings& s) -> std::string& { return s.extras.alerts.loss; });
  memory("AlertLatencyOn", [](Settings& s) -> bool& { return s.extras.alerts.latencyOn; });
  memory("AlertLatency", [](Settings& s) -> std::string& { return s.extras.alerts.latency; });
  memory("AlertPatternOn", [](Settings& s) -> bool& { return s.extras.alerts.patternOn; });
  memory("AlertPattern", [](Settings& s) -> std::string& { return s.extras.alerts.pattern; });
  memory("AlertNotify", [](Settings& s) -> bool& { return s.extras.alerts.notify; });
  memory("AlertBeep", [](Settings& s) -> bool& { return s.extras.alerts.beep; });
  memory("AlertLog", [](Settings& s) -> std::string& { return s.extras.alerts.logFile; });
  memory("AlertCommand", [](Settings& s) -> std::string& { return s.extras.alerts.command; });

  // The Settings value starts as the controls stand at design.
  for (const Binding& binding : b) {
    if (binding.store) binding.store();
  }
  return b;
}

TForm1::TForm1(const LocalClock& clock, const Form1Environment& environment, QWidget* parent)
    : QWidget(parent),
      m_clock(clock),
      m_dialogs(environment.dialogs ? environment.dialogs : &Dialogs::Desktop()) {
  m_executablePath = environment.executablePath.empty()
                         ? QCoreApplication::applicationFilePath().toStdString()
                         : environment.executablePath;
  m_desktopFolders = environment.desktopFolders;
  m_userFoldersGiven = environment.userFolders;
  m_closeRequestedFromOutside = environment.closeRequestedFromOutside;

  // The probe of the window: the ping child, while the window goes on
  // handling its events; a close (from the window, a signal or the desktop's
  // log-off) stops it at once.
  auto cancelled = [this] {
    return m_shutDown || (m_closeRequestedFromOutside && m_closeRequestedFromOutside());
  };
  CommandProbe probe = [cancelled](const std::string& commandLine) {
    ProbeResult result;
    const std::optional<PingCommand> command = ParsePingCommandLine(commandLine);
    if (!command) return result;  // nothing is run: an empty response
    PingChildOptions options;
    options.onStep = [] { QCoreApplication::processEvents(); };
    options.shouldStop = cancelled;
    result = PingChild(*command, options);
    if (cancelled()) result.outcome = ProbeResult::Outcome::Cancelled;
    return result;
  };
  m_view = std::make_unique<SessionView>(*this);
  m_session = std::make_unique<PlotSession>(m_clock, m_settings.run, m_settings.graph,
                                            std::move(probe), *m_view, m_logFiles);

  BuildForm1Controls(this, m_session->Chart(), *this);
  ApplyTextColours(this, Panel2, Label13);
  m_output = std::make_unique<GraphOutput>(m_settings, m_session->Chart(),
                                           [this] { return GraphSize(); }, this);
  m_web = std::make_unique<WindowWebServer>(
      this, [this] { return m_output->SaveTemp(); },
      [session = m_session.get()] { return session->Published(); }, m_clock);
  if (environment.alertNotifier != nullptr) {
    m_notifier = environment.alertNotifier;
  } else {
    m_notifier = new DesktopNotifier(TrayIcon, this);
  }
  const std::vector<Binding> bindings = BindSettings();
  ConnectHandlers();
  StartUp(bindings);
}

TForm1::~TForm1() = default;

void TForm1::StartUp(const std::vector<Binding>& bindings) {
  // From here on a close requested from outside silences every box.
  m_closingDialogs =
      std::make_unique<ClosingDialogs>(*m_dialogs, m_closeRequestedFromOutside, std::cerr);
  m_closingDialogs->SetTrayIcon(TrayIcon);
  m_dialogs = m_closingDialogs.get();
  m_alerts = std::make_unique<WindowAlerts>(
      this, StatusPanel3, *m_dialogs, m_logFiles, *m_notifier,
      [this](const QString& message) { m_dialogs->Error(this, message); });

  // Rasters of the graph come out the same at every screen scale.
  UseScaleIndependentHinting();
  Label15->setText(QStringLiteral("Version 1.2"));
  // Painting is double-buffered throughout: Qt's widgets are.
  // Beside the executable where its folder is writable, else the desktop's
  // per-user folders (settingslocation.h).
  m_files = LocateProgramFiles(
      m_executablePath, m_desktopFolders ? *m_desktopFolders : DesktopFoldersFromEnvironment());
  auto standard = [](QStandardPaths::StandardLocation location) {
    return QStandardPaths::writableLocation(location).toStdString();
  };
  const UserFolders user =
      m_userFoldersGiven ? *m_userFoldersGiven
                         : UserFolders{standard(QStandardPaths::HomeLocation),
                                       standard(QStandardPaths::PicturesLocation),
                                       standard(QStandardPaths::DocumentsLocation)};
  m_userFolders = UserFileFoldersFor(m_files, m_executablePath, user, [](const std::string& folder) {
    return QFileInfo(QString::fromStdString(folder)).isDir();
  });
  // What an interrupted save left behind.
  RemoveStaleSaveTemporaries(m_files.settingsSave, ProcessAlive, std::time(nullptr));

  // The load pass: each key in its order puts its value into its control,
  // whose handler runs as for the user's change.
  const QSize graph = GraphSize();
  const LoadedSettings loaded = ReadSettings(
      IniFile::Load(m_files.settingsLoad),
      SettingsDefaults{m_userFolders.images, graph.width(), graph.height()});
  auto applyKey = [&](std::string_view key) {
    for (const Binding& binding : bindings) {
      if (binding.key == key) binding.apply(loaded.settings);
    }
    for (const SettingError& error : loaded.errors) {
      if (error.key == key) m_dialogs->Error(this, Q(error.message));
    }
  };
  for (const SettingKey& key : SettingKeysInLoadOrder()) applyKey(key.name);
  for (const SettingKey& key : ExtraSettingKeys()) applyKey(key.name);

  // The help document, written afresh. Where it cannot be written, Help
  // shows the compiled-in copy; start-up is not held up by a box for it.
  {
    QFile document(QStringLiteral(":/help.html"));
    const QByteArray bytes = document.open(QIODevice::ReadOnly) ? document.readAll() : QByteArray();
    std::string error;
    if (!PrepareHelpFolder(m_files.help)) {
      error = "Cannot create file \"" + m_files.help + "\". The folder is not this user's own";
    } else {
      error = InstallHelpFile(
          m_files.help, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    }
    m_helpInstalled = error.empty();
    if (!m_helpInstalled) std::cerr << "quorvel: " << error << '\n';
  }

  Memo1->setVisible(m_settings.window.showAll);
  m_minimizeToTray = m_settings.window.minimizeToTray;
  const bool folderExists = m_output->CaptureFolderExists();
  cbCapture->setEnabled(folderExists);
  btnSave->setEnabled(folderExists);

  // The alerts of the settings, in force before the first probe.
  ApplyAlertSettings();

  // The interval sets the timer's period and the ping timeout.
  Timer1->setInterval(static_cast<std::int64_t>(m_settings.run.intervalSeconds) * 1000);
  m_session->IntervalChanged();

  // The graph takes the loaded look.
  const GraphAppearance& look = m_settings.graph;
  Label12->setText(Q(PerPageCaption(m_settings.run.intervalSeconds, m_settings.run.pointsPerPage)));
  ChartModel& chart = m_session->Chart();
  chart.bottom.SetMax(m_settings.run.pointsPerPage);
  chart.look.axesText = look.axesText;
  chart.look.grid = look.grid;
  chart.look.titleFont = look.titleFont;
  // The vertical range from the boxes, through a wide range first so that
  // neither bound is refused by the other; whatever is still refused stays.
  chart.left.SetMax(9999);
  chart.left.SetMin(-1);
  chart.left.SetMax(look.verticalMax);
  chart.left.SetMin(look.verticalMin);
  m_session->Limits().Remember(look.verticalMax, look.verticalMin);
  edTitleChange();
  chart.look.back = look.back;
  rbLineClick();
  // The grid is always dotted.
  rbVerticalClick();
  Shape1->SetColour(ToQColor(look.plot));
  Shape2->SetColour(ToQColor(look.average));
  Shape3->SetColour(ToQColor(look.back));
  Shape5->SetColour(ToQColor(look.border));
  Shape4->SetColour(ToQColor(look.axesText));
  rbStepsClick();
  // The primary button pans the graph (form1_graph.cpp).
  rbPercentClick();
  imgNoise->setVisible(m_settings.run.capture && folderExists);
  // The drag cursor is the desktop's closed hand (form1_graph.cpp).
  cbCapture->setEnabled(folderExists);
  PageControl1->setCurrentWidget(TabSheet1);
  // Without the file, Help still shows the compiled-in document.
  btnHelp->setEnabled(true);
  FormResize();
  // The content-type table of the web server is built in, ready before any
  // request.
  if (m_settings.web.active) StartServer();
  if (btnStart->isChecked()) btnStartClick();
}

void TForm1::closeEvent(QCloseEvent* event) {
  ShutDown();
  event->accept();
  emit closed();
}

void TForm1::ShutDown() {
  if (m_shutDown) return;
  m_shutDown = true;
  m_web->Stop();
  m_alerts->Configure({});  // a command still running is ended
  if (m_settings.run.capture && m_output->CaptureFolderExists()) btnSaveClick();

  // The save pass.
  m_settings.history = m_session->History().Entries();
  // Whatever else the file holds stays as it is (also the lines of a file
  // read from beside a program whose folder cannot be written).
  const std::string& path = m_files.settingsSave;
  IniFile ini = IniFile::Load(FileExists(path) ? path : m_files.settingsLoad);
  WriteSettings(m_settings, ini);
  if (path != m_files.settingsLoad || !FileExists(path)) {
    MakeParentFolders(path);  // the per-user folder may be new
  }
  // It holds the web password: for this user's eyes only.
  OwnerOnlyFileSteps ownerOnly;
  std::error_code reason;
  const Status status = ini.Save(path, ownerOnly, kOwnerOnlyMode, &reason);
  if (!status) {
    // The box says what could not be written; why goes to standard error.
    std::cerr << "quorvel: " << status.message() << ": " << reason.message() << '\n';
    // Closing at a request from outside, the box goes to standard error too.
    m_dialogs->Error(this, Q(status.message()));
  }

  RemoveHelpFile(m_files.help);
  RemoveHelpFolder(m_files.help);
  if (TrayIcon) TrayIcon->hide();
}

}  // namespace quorvel
