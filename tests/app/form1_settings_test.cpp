// The settings file and the shell's start-up and shut-down, through the
// main window: what a start reads, what a close writes, and what the start
// does with it.
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <QTextBrowser>
#include <QToolButton>


#include <atomic>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "common/fixedclock.h"
#include "common/loopback.h"
#include "app/controls.h"
#include "app/form1.h"
#include "app/windowweb.h"
#include "settings/inifile.h"
#include "settings/settingkeys.h"
#include "settings/settingvalues.h"
#include "recordingdialogs.h"
#include "run/timeformat.h"
#include "windowhome.h"

using namespace quorvel;

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

}  // namespace

class Form1SettingsTest : public QObject {
  Q_OBJECT

 private:
  FixedClock m_clock{kMonday7December2026};
  RecordingDialogs m_dialogs;
  std::unique_ptr<WindowHome> m_home;
  std::unique_ptr<TForm1> m_form;

  std::string IniPath() const { return m_home->Executable() + ".ini"; }
  std::string HelpPath() const { return m_home->Executable() + ".html"; }
  void Start() { m_form = std::make_unique<TForm1>(m_clock, m_home->Environment(&m_dialogs)); }
  void Close() {
    m_form->close();
    m_form.reset();
  }
  IniFile Saved() const { return IniFile::Load(IniPath()); }
  std::string SavedValue(const char* key) const { return Saved().ReadString("Plotter", key, "<missing>"); }
  template <typename T>
  T* Find(const char* name) { return FindControl<T>(m_form.get(), name); }

 private slots:
  void initTestCase() {
    qputenv("PATH", QByteArray(QUORVEL_FAKE_PING_DIR) + ":" + qgetenv("PATH"));
  }

  void init() {
    qputenv("FAKE_PING_MODE", "reply");
    m_dialogs = RecordingDialogs();
    m_home = std::make_unique<WindowHome>();
  }

  void cleanup() {
    m_form.reset();
    m_home.reset();
  }

  void firstCloseWritesEveryKeyInSaveOrderWithItsDefault() {
    Start();
    const QSize graph = m_form->GraphSize();
    Close();
    QVERIFY(m_dialogs.messages.isEmpty());

    std::string expected = "[Plotter]\n";
    for (const SettingKey* key : SettingKeysInSaveOrder()) {
      if (key->type == SettingType::HistoryEntries) continue;  // none in an empty list
      std::string value(key->defaultText);
      if (key->name == "Folder") value = m_home->Path().toStdString();
      if (key->name == "Height") value = std::to_string(graph.height());
      if (key->name == "Width") value = std::to_string(graph.width());
      if (key->name == "Border") value = "clBtnFace";  // the default's name as written
      if (key->name == "Title") value = "Quorvel^of^";  // every blank stored as "^"
      if (key->name == "LogFile") value = "";
      expected += std::string(key->name) + "=" + value + "\n";
    }
    QCOMPARE(QString::fromStdString(ReadFile(IniPath())), QString::fromStdString(expected));
  }

  void everyKeySurvivesARestart() {
    // Values other than the defaults, one per key, in load order; the
    // history in its sorted order, so that it comes back line for line.
    const std::string url = "host\x01 name \xc3\xa9";  // a control character and a non-ASCII letter
    const std::string password = " :pass word: ";
    const std::string folder = m_home->Path().toStdString();
    const std::string lines[] = {
        "URL=" + EncodeScrambled(url), "Stop=0", "Restart=1", "Time=60", "Points=50", "Max=200",
        "Min=5", "Line=0", "Area=1", "Steps=1", "Ramp=0", "Run=0", "ShowAll=1", "Capture=1",
        "Folder=" + folder, "Label=Round trip", "Title=My^^title^", "Pages=7", "Minimize=1",
        "Ignore=0", "CCount=2", "CB0=" + EncodeScrambled("Alpha"), "CB1=" + EncodeScrambled("beta"),
        "CB2=" + EncodeScrambled("Gamma"), "Web=0", "Temp=graph.png", "Auth=1", "Lower=1",
        "User=admin", "Pass=" + EncodeScrambled(password), "Port=8080", "Border=clRed",
        "Plot=$00FF8000", "AvgPlot=clLime", "PlotAvg=0", "Back=clCream", "Left=clNavy",
        "Grid=clSilver", "Height=300", "Width=640", "HTTP=0", "Cap=0", "Clip=0", "Print=0",
        "rbPercent=0", "rbPixels=1", "spPercent=150", "Colour=clMaroon", "FontName=Liberation Serif",
        "FontSize=14", "FontStyle=3", "JPG=0", "GIF=0", "BMP=0", "PNG=1", "Gray=1", "Append=0",
        "AppInterval=0", "Vertical=1", "Horizontal=0", "NoLog=0", "AllLog=0", "OnlyLog=1",
        "Ping=1", "AvgPing=0", "LogVal=75", "LogFile=" + folder + "/ping.txt", "Metrics=1",
    };
    std::string file = "[Plotter]\n";
    for (const std::string& line : lines) file += line + "\n";
    // Metrics above is where an earlier version kept it; the extras have a
    // section of their own.
    const std::string extras[] = {
        "Distribution=1", "PreciseScale=1", "DesktopColours=1", "LivePage=1", "AlertLostOn=1",
        "AlertLost=lost>=5 clear=2", "AlertNotify=0", "AlertBeep=1",
        "AlertLog=" + folder + "/alerts.txt",
    };
    file += "[Quorvel]\n";
    for (const std::string& line : extras) file += line + "\n";
    WriteFile(IniPath(), file);

    Start();
    QVERIFY2(m_dialogs.messages.isEmpty(), qPrintable(m_dialogs.messages.join("; ")));
    QCOMPARE(Find<QComboBox>("cbURL")->currentText().toStdString(), url);
    QCOMPARE(Find<SpinEdit>("spX")->Value(), 60);
    QVERIFY(Find<QRadioButton>("rbArea")->isChecked());
    QVERIFY(Find<QRadioButton>("rbRestart")->isChecked());
    QCOMPARE(Find<QLineEdit>("edTitle")->text(), QStringLiteral("My  title "));
    QCOMPARE(Find<QComboBox>("cbURL")->count(), 3);
    QCOMPARE(m_form->webAccess().Password, password);
    QVERIFY(m_form->settings().extras.metrics);
    QVERIFY(m_form->session().Chart().distribution);
    QVERIFY(m_form->session().Chart().precise);
    QVERIFY(m_form->session().Chart().palette.has_value());
    QCOMPARE(m_form->session().AlertRules().size(), std::size_t{1});
    QCOMPARE(m_form->session().Chart().look.titleFont.name, std::string("Liberation Serif"));
    QVERIFY(Find<QLabel>("imgNoise")->isVisibleTo(m_form.get()));
    Close();

    const std::string saved = ReadFile(IniPath());
    for (const std::string& line : lines) {
      QVERIFY2(saved.find("\n" + line + "\n") != std::string::npos, line.c_str());
    }
    const std::string quorvel = saved.substr(saved.find("\n[Quorvel]\n"));
    for (const std::string& line : extras) {
      QVERIFY2(quorvel.find("\n" + line + "\n") != std::string::npos, line.c_str());
    }
    QVERIFY(quorvel.find("\nMetrics=1\n") != std::string::npos);
    // The exit capture: capture is on and its folder exists.
    const QStringList images = QDir(m_home->Path()).entryList({QStringLiteral("Round trip-*.png")});
    QCOMPARE(images.size(), 1);
  }

  void loadedValuesAreClampedAndRadioGroupsKeepTheLastRead() {
    WriteFile(IniPath(),
              "; a comment that stays\n[Other]\nkeep=me\n[plotter]\nPoints=5\nMin=-5\nStop=0\nRestart=0\n"
              "JPG=1\nGIF=1\nLower=1\nCCount=1\nCB0=" + EncodeScrambled("a") + "\nCB1=" +
                  EncodeScrambled("b") + "\nCB2=" + EncodeScrambled("stale") + "\n");
    Start();
    QCOMPARE(Find<SpinEdit>("spPoints")->Value(), 10);
    QCOMPARE(Find<SpinEdit>("spMin")->Value(), -1);
    QVERIFY(!Find<QRadioButton>("rbStop")->isChecked());
    QVERIFY(!Find<QRadioButton>("rbRestart")->isChecked());
    QVERIFY(Find<QRadioButton>("rbGIF")->isChecked());
    QVERIFY(!Find<QRadioButton>("rbJPG")->isChecked());
    QCOMPARE(Find<QComboBox>("cbURL")->count(), 2);
    Close();
    QCOMPARE(SavedValue("Points"), std::string("10"));
    QCOMPARE(SavedValue("Min"), std::string("-1"));
    QCOMPARE(SavedValue("Stop"), std::string("0"));
    QCOMPARE(SavedValue("Restart"), std::string("0"));
    QCOMPARE(SavedValue("JPG"), std::string("0"));
    QCOMPARE(SavedValue("GIF"), std::string("1"));
    QCOMPARE(SavedValue("Lower"), std::string("1"));
    QCOMPARE(SavedValue("CCount"), std::string("1"));
    QCOMPARE(DecodeScrambled(SavedValue("CB2")), std::string("stale"));
    const std::string saved = ReadFile(IniPath());
    QVERIFY(saved.rfind("; a comment that stays\n[Other]\nkeep=me\n[plotter]\n", 0) == 0);
  }

  void anUnreadableColourIsReportedOnceAndTakesItsDefault() {
    WriteFile(IniPath(), "[Plotter]\nBack=sky\n");
    Start();
    QCOMPARE(m_dialogs.messages, QStringList{QStringLiteral("'sky' is not a valid integer value")});
    QCOMPARE(m_form->settings().graph.back, kWhite);
    Close();
    QCOMPARE(SavedValue("Back"), std::string("clWhite"));
  }

  void aFileThatCannotBeWrittenIsReportedAndLeftAsItWas() {
    // A folder where the file should be: nothing can replace it (this holds
    // for root too, unlike file permissions).
    QVERIFY(QDir().mkpath(QString::fromStdString(IniPath() + "/inside")));
    Start();
    Close();
    QCOMPARE(m_dialogs.messages,
             QStringList{QStringLiteral("Unable to write to ") + QString::fromStdString(IniPath())});
    QVERIFY(QDir(QString::fromStdString(IniPath() + "/inside")).exists());
  }

  void helpDocumentLivesBesideTheProgramWhileItRuns() {
    WriteFile(HelpPath(), "an older copy");
    Start();
    QFile resource(QStringLiteral(":/help.html"));
    QVERIFY(resource.open(QIODevice::ReadOnly));
    QCOMPARE(QByteArray::fromStdString(ReadFile(HelpPath())), resource.readAll());
    QVERIFY(Find<QToolButton>("btnHelp")->isEnabled());
    Close();
    QVERIFY(!QFile::exists(QString::fromStdString(HelpPath())));
  }

  void aHelpDocumentThatCannotBeCreatedHoldsNothingUp() {
    // The program's folder is missing, so the document goes to the runtime
    // folder, which is missing too: no box at start, and Help shows the
    // compiled-in document.
    QVERIFY(QDir(m_home->Path() + QStringLiteral("/runtime")).removeRecursively());
    m_form = std::make_unique<TForm1>(
        m_clock, m_home->Environment(&m_dialogs, m_home->Executable() + "-missing/quorvel"));
    QCOMPARE(m_dialogs.messages, QStringList());
    QCOMPARE(m_form->files().help, m_home->Path().toStdString() + "/runtime/quorvel.html");
    QToolButton* help = Find<QToolButton>("btnHelp");
    QVERIFY(help->isEnabled());
    help->click();
    QWidget* window = m_form->findChild<QWidget*>(QStringLiteral("HelpWindow"));
    QVERIFY(window != nullptr && window->isVisible());
    QCOMPARE(window->findChild<QTextBrowser*>(QStringLiteral("HelpBrowser"))->documentTitle(),
             QStringLiteral("Quorvel Help"));
    // F1 opens it too.
    window->hide();
    m_form->show();
    m_form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    QTest::keyClick(m_form.get(), Qt::Key_F1);
    QVERIFY(window->isVisible());
  }

  // Where the program's folder cannot be written, the capture folder, the
  // log file's dialog and Save As start in the user's Pictures and
  // Documents, not in the program's folder.
  void anInstalledCopyStartsFilesInTheUsersFolders() {
    const QString pictures = m_home->Path() + "/Pictures", documents = m_home->Path() + "/Documents";
    QVERIFY(QDir().mkdir(pictures) && QDir().mkdir(documents));
    Form1Environment environment = m_home->Environment(&m_dialogs, m_home->Executable() + "-missing/quorvel");
    environment.userFolders =
        UserFolders{m_home->Path().toStdString(), pictures.toStdString(), documents.toStdString()};
    m_form = std::make_unique<TForm1>(m_clock, environment);
    QCOMPARE(Find<QLineEdit>("edFolder")->text(), pictures);
    Find<QComboBox>("cbURL")->setEditText(QStringLiteral("www.example.com"));
    m_form->btnLogBrowseClick();
    m_form->SaveAs1Click();
    QCOMPARE(m_dialogs.saves.size(), 2);
    QCOMPARE(m_dialogs.saves[0].directory, documents);
    QCOMPARE(m_dialogs.saves[0].fileName, QStringLiteral("example.txt"));
    QCOMPARE(m_dialogs.saves[1].directory, pictures);
  }

  void aRunThatWasOnResumesAfterTheServerStarts() {
    const int port = FreeLoopbackPort();
    WriteFile(IniPath(), "[Plotter]\nRun=1\nURL=" + EncodeScrambled("127.0.0.1") +
                             "\nTime=60\nIgnore=0\nWeb=1\nPort=" + std::to_string(port) + "\n");
    Start();
    QVERIFY(m_form->webServer().Listening());
    QVERIFY(Find<QToolButton>("btnStart")->isChecked());
    QCOMPARE(m_form->session().Chart().data.PingCount(), std::size_t{1});
    QCOMPARE(Find<QComboBox>("cbURL")->count(), 1);  // the started address joins the history
    QVERIFY(Find<QLabel>("StatusPanel2")->text().startsWith(QStringLiteral("SERVER RUNNING - http://")));

    std::atomic<bool> done{false};
    std::string reply;
    std::thread client([&] {
      reply = RoundTrip(port, "GET /quorvel.jpg HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
      done = true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(done.load(), 15000);
    client.join();
    QVERIFY(reply.rfind("HTTP/1.1 200 OK\r\n", 0) == 0);
    QVERIFY(reply.find("Content-Type: image/jpeg\r\n") != std::string::npos);

    // Closed while plotting: the next start plots again.
    Close();
    QCOMPARE(SavedValue("Run"), std::string("1"));
    QCOMPARE(SavedValue("Web"), std::string("1"));
  }

  void anUnknownHostAtStartAddsNoHistory() {
    qputenv("FAKE_PING_MODE", "unknown");
    WriteFile(IniPath(), "[Plotter]\nRun=1\nURL=" + EncodeScrambled("nohost.invalid") + "\nTime=60\n");
    Start();
    QCOMPARE(m_dialogs.messages, QStringList{QStringLiteral("Unable to find host nohost.invalid")});
    QVERIFY(Find<QToolButton>("btnStop")->isChecked());
    QCOMPARE(Find<QComboBox>("cbURL")->count(), 0);
    Close();
    QCOMPARE(SavedValue("CCount"), std::string("-1"));
    QCOMPARE(SavedValue("Run"), std::string("0"));
  }

  void minimisingWithoutANotificationAreaBehavesAsUsual() {
    WriteFile(IniPath(), "[Plotter]\nMinimize=1\n");
    Start();
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    m_form->setWindowState(Qt::WindowMinimized);
    QTest::qWait(50);
    // No notification area here (offscreen): the window is not hidden away.
    QVERIFY(m_form->isVisible());
  }
};

QTEST_MAIN(Form1SettingsTest)
#include "form1_settings_test.moc"
