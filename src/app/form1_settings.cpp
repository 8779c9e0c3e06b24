// Start-up and shut-down of the main window, and the settings file.
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QSystemTrayIcon>
#include <QToolButton>

#include <ctime>
#include <iostream>

#include "app/chartview.h"
#include "app/closingdialogs.h"
#include "app/controls.h"
#include "app/dialogs.h"
#include "app/fontchoice.h"
#include "app/form1.h"
#include "app/helpfile.h"
#include "app/inifile.h"
#include "app/plottimer.h"
#include "app/settingkeys.h"
#include "app/settingslocation.h"
#include "app/settingvalues.h"
#include "graph/chartrenderer.h"
#include "graph/pagecaption.h"
#include "probe/pingprobe.h"

namespace quorvel {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }

}  // namespace

// Moves one key between the settings file and where its value lives.
struct TForm1::SettingBinding {
  std::string_view key;
  std::function<void(const IniFile&, const SettingKey&)> load;
  std::function<void(IniFile&, const SettingKey&)> save;
};

std::vector<TForm1::SettingBinding> TForm1::SettingBindings() {
  using Load = std::function<void(const IniFile&, const SettingKey&)>;
  using Save = std::function<void(IniFile&, const SettingKey&)>;
  std::vector<SettingBinding> b;
  auto add = [&b](std::string_view key, Load load, Save save) {
    b.push_back({key, std::move(load), std::move(save)});
  };
  // Setting a control runs its handler, as the user's change would.
  auto check = [&add](std::string_view key, QCheckBox* box) {
    add(key, [box](const IniFile& ini, const SettingKey& k) { box->setChecked(LoadBoolean(ini, k)); },
        [box](IniFile& ini, const SettingKey& k) { SaveBoolean(ini, k, box->isChecked()); });
  };
  auto radio = [&add](std::string_view key, QRadioButton* button) {
    add(key,
        [button](const IniFile& ini, const SettingKey& k) {
          SetRadioChecked(button, LoadBoolean(ini, k));
        },
        [button](IniFile& ini, const SettingKey& k) { SaveBoolean(ini, k, button->isChecked()); });
  };
  auto spin = [&add](std::string_view key, SpinEdit* box) {
    add(key, [box](const IniFile& ini, const SettingKey& k) { box->setValue(LoadInteger(ini, k)); },
        [box](IniFile& ini, const SettingKey& k) { SaveInteger(ini, k, box->Value()); });
  };
  auto text = [&add](std::string_view key, QLineEdit* edit) {
    add(key, [edit](const IniFile& ini, const SettingKey& k) { edit->setText(Q(LoadText(ini, k))); },
        [edit](IniFile& ini, const SettingKey& k) { SaveText(ini, k, S(edit->text())); });
  };
  // A colour that cannot be read is reported once and takes its default.
  auto colour = [&add, this](std::string_view key, Colour* value) {
    add(key,
        [this, value](const IniFile& ini, const SettingKey& k) {
          const ColourResult r = LoadColour(ini, k);
          if (!r.ok()) m_dialogs->Error(this, Q(r.error));
          *value = r.colour;
        },
        [value](IniFile& ini, const SettingKey& k) { SaveColour(ini, k, *value); });
  };
  auto boolean = [&add](std::string_view key, bool* value) {
    add(key, [value](const IniFile& ini, const SettingKey& k) { *value = LoadBoolean(ini, k); },
        [value](IniFile& ini, const SettingKey& k) { SaveBoolean(ini, k, *value); });
  };
  auto integer = [&add](std::string_view key, int* value) {
    add(key, [value](const IniFile& ini, const SettingKey& k) { *value = LoadInteger(ini, k); },
        [value](IniFile& ini, const SettingKey& k) { SaveInteger(ini, k, *value); });
  };

  add("URL",
      [this](const IniFile& ini, const SettingKey& k) { cbURL->setEditText(Q(LoadScrambled(ini, k))); },
      [this](IniFile& ini, const SettingKey& k) { SaveScrambled(ini, k, S(cbURL->currentText())); });
  radio("Stop", rbStop);
  radio("Restart", rbRestart);
  spin("Time", spX);
  spin("Points", spPoints);
  spin("Max", spMax);
  spin("Min", spMin);
  radio("Line", rbLine);
  radio("Area", rbArea);
  radio("Steps", rbSteps);
  radio("Ramp", rbRamp);
  // The down state of Start; pressing it is left to the end of start-up.
  add("Run",
      [this](const IniFile& ini, const SettingKey& k) {
        if (LoadBoolean(ini, k)) btnStart->setChecked(true);
      },
      [this](IniFile& ini, const SettingKey& k) { SaveBoolean(ini, k, btnStart->isChecked()); });
  check("ShowAll", cbShowAll);
  check("Capture", cbCapture);
  add("Folder",
      [this](const IniFile& ini, const SettingKey& k) {
        edFolder->setText(Q(LoadText(ini, k, ExecutableFolder(m_executablePath))));
      },
      [this](IniFile& ini, const SettingKey& k) { SaveText(ini, k, S(edFolder->text())); });
  text("Label", edLabel);
  text("Title", edTitle);  // in its stored form, "^" for each blank
  spin("Pages", spPages);
  check("Minimize", cbMinimize);
  check("Ignore", cbIgnore);
  add("CCount",
      [this](const IniFile& ini, const SettingKey&) {
        LoadAddressHistory(ReadHistory(ini, ReadHistoryCount(ini)));
      },
      [this](IniFile& ini, const SettingKey&) { WriteHistory(ini, AddressHistoryEntries()); });
  add("CB", [](const IniFile&, const SettingKey&) {}, [](IniFile&, const SettingKey&) {});
  check("Web", cbWeb);
  text("Temp", edTemp);
  boolean("Auth", &m_webAccess.AuthRequired);
  boolean("Lower", &m_lower);
  add("User",
      [this](const IniFile& ini, const SettingKey& k) { m_webAccess.UserName = LoadText(ini, k); },
      [this](IniFile& ini, const SettingKey& k) { SaveText(ini, k, m_webAccess.UserName); });
  add("Pass",
      [this](const IniFile& ini, const SettingKey& k) { m_webAccess.Password = LoadScrambled(ini, k); },
      [this](IniFile& ini, const SettingKey& k) { SaveScrambled(ini, k, m_webAccess.Password); });
  integer("Port", &m_webAccess.Port);
  colour("Border", &m_appearance.border);
  colour("Plot", &m_appearance.plot);
  colour("AvgPlot", &m_appearance.average);
  check("PlotAvg", cbPlotAvg);
  colour("Back", &m_appearance.back);
  colour("Left", &m_chart.look.axesText);
  colour("Grid", &m_appearance.grid);
  // The image size defaults to the graph's size at this moment.
  add("Height",
      [this](const IniFile& ini, const SettingKey& k) {
        spGrHeight->setValue(LoadInteger(ini, k, GraphSize().height()));
      },
      [this](IniFile& ini, const SettingKey& k) { SaveInteger(ini, k, spGrHeight->Value()); });
  add("Width",
      [this](const IniFile& ini, const SettingKey& k) {
        spGrWidth->setValue(LoadInteger(ini, k, GraphSize().width()));
      },
      [this](IniFile& ini, const SettingKey& k) { SaveInteger(ini, k, spGrWidth->Value()); });
  check("HTTP", cbHTTP);
  check("Cap", cbCaptured);
  check("Clip", cbClip);
  check("Print", cbPrint);
  radio("rbPercent", rbPercent);
  radio("rbPixels", rbPixels);
  spin("spPercent", spPercent);
  FontSpec& title = m_chart.look.titleFont;
  colour("Colour", &title.colour);
  add("FontName",
      [&title](const IniFile& ini, const SettingKey& k) { title.name = LoadText(ini, k); },
      [&title](IniFile& ini, const SettingKey& k) { SaveText(ini, k, title.name); });
  integer("FontSize", &title.pointSize);
  integer("FontStyle", &title.style);
  radio("JPG", rbJPG);
  radio("GIF", rbGIF);
  radio("BMP", rbBMP);
  radio("PNG", rbPNG);
  check("Gray", cbGray);
  check("Append", cbAppend);
  check("AppInterval", cbAppInterval);
  radio("Vertical", rbVertical);
  radio("Horizontal", rbHorizontal);
  radio("NoLog", rbNoLog);
  radio("AllLog", rbAllLog);
  radio("OnlyLog", rbOnlyLog);
  radio("Ping", rbPing);
  radio("AvgPing", rbAvgPing);
  spin("LogVal", spLog);
  text("LogFile", edLog);
  boolean("Metrics", &m_webAccess.MetricsEnabled);
  return b;
}

void TForm1::LoadSettings() {
  const IniFile ini = IniFile::Load(m_settingsLoadPath);
  const std::vector<SettingBinding> bindings = SettingBindings();
  for (const SettingKey& key : SettingKeysInLoadOrder()) {
    for (const SettingBinding& binding : bindings) {
      if (binding.key == key.name) binding.load(ini, key);
    }
  }
  edTitle->setText(Q(TitleFromStored(S(edTitle->text()))));
}

void TForm1::SaveSettings() {
  edTitle->setText(Q(TitleToStored(S(edTitle->text()))));
  // Whatever else the file holds stays as it is (also the lines of a file
  // read from beside a program whose folder cannot be written).
  IniFile ini = IniFile::Load(FileExists(m_settingsPath) ? m_settingsPath : m_settingsLoadPath);
  const std::vector<SettingBinding> bindings = SettingBindings();
  for (const SettingKey* key : SettingKeysInSaveOrder()) {
    for (const SettingBinding& binding : bindings) {
      if (binding.key == key->name) binding.save(ini, *key);
    }
  }
  if (m_settingsPath != m_settingsLoadPath || !FileExists(m_settingsPath)) {
    MakeParentFolders(m_settingsPath);  // the per-user folder may be new
  }
  const SaveStatus status = ini.Save(m_settingsPath);
  // Closing at a request from outside, this goes to standard error instead.
  if (!status.ok) m_dialogs->Error(this, Q(status.message));
}

void TForm1::ApplyLoadedAppearance() {
  // The page duration.
  Label12->setText(Q(PerPageCaption(spX->Value(), spPoints->Value())));
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
  // From here on a close requested from outside silences every box.
  m_closingDialogs = std::make_unique<ClosingDialogs>(*m_dialogs, m_closeRequestedFromOutside, std::cerr);
  m_closingDialogs->SetTrayIcon(TrayIcon);
  m_dialogs = m_closingDialogs.get();

  // Rasters of the graph come out the same at every screen scale.
  UseScaleIndependentHinting();
  Label15->setText(QStringLiteral("Version 1.2"));
  // Painting is double-buffered throughout: Qt's widgets are.
  // Beside the executable where its folder is writable, else the desktop's
  // per-user folders (settingslocation.h).
  const ProgramFiles files = LocateProgramFiles(
      m_executablePath, m_desktopFolders ? *m_desktopFolders : DesktopFoldersFromEnvironment());
  m_settingsPath = files.settingsSave;
  m_settingsLoadPath = files.settingsLoad;
  m_helpPath = files.help;
  // What an interrupted save left behind.
  RemoveStaleSaveTemporaries(m_settingsPath, ProcessAlive, std::time(nullptr));
  LoadSettings();

  // The help document, written afresh. Where it cannot be written, Help
  // shows the compiled-in copy; start-up is not held up by a box for it.
  {
    QFile document(QStringLiteral(":/help.html"));
    const QByteArray bytes = document.open(QIODevice::ReadOnly) ? document.readAll() : QByteArray();
    std::string error;
    if (!PrepareHelpFolder(m_helpPath)) {
      error = "Cannot create file \"" + m_helpPath + "\". The folder is not this user's own";
    } else {
      error = InstallHelpFile(
          m_helpPath, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    }
    m_helpInstalled = error.empty();
    if (!m_helpInstalled) std::cerr << "quorvel: " << error << '\n';
  }

  Memo1->setVisible(cbShowAll->isChecked());
  m_minimizeToTray = cbMinimize->isChecked();
  const bool folderExists = CaptureFolderExists();
  cbCapture->setEnabled(folderExists);
  btnSave->setEnabled(folderExists);

  const std::int64_t interval = spX->Value();
  Timer1->setInterval(interval * 1000);
  m_pingTimeout = PingTimeoutFor(interval);

  ApplyLoadedAppearance();  // the graph takes the loaded look
  // The primary button pans the graph (form1_graph.cpp).
  rbPercentClick();
  imgNoise->setVisible(cbCapture->isChecked() && folderExists);
  // The drag cursor is the desktop's closed hand (form1_graph.cpp).
  cbCapture->setEnabled(folderExists);
  PageControl1->setCurrentWidget(TabSheet1);
  // Without the file, Help still shows the compiled-in document.
  btnHelp->setEnabled(true);
  FormResize();
  // The content-type table of the web server is built in, ready before any
  // request.
  if (cbWeb->isChecked()) StartServer();
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
  StopServer();
  if (cbCapture->isChecked() && CaptureFolderExists()) btnSaveClick();
  SaveSettings();
  RemoveHelpFile(m_helpPath);
  RemoveHelpFolder(m_helpPath);
  if (TrayIcon) TrayIcon->hide();
}

}  // namespace quorvel
