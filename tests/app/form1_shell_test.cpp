// The order of the start-up and shut-down steps as it shows from outside,
// and the tray switch, through the main window.
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <fstream>
#include <memory>
#include <optional>
#include <string>

#include "app/controls.h"
#include "app/form1.h"
#include "settings/settingvalues.h"
#include "common/fixedclock.h"
#include "common/loopback.h"
#include "recordingdialogs.h"
#include "windowhome.h"

using namespace quorvel;

class Form1ShellTest : public QObject {
  Q_OBJECT

 private:
  FixedClock m_clock;
  RecordingDialogs m_dialogs;
  std::unique_ptr<WindowHome> m_home;  // outlives the window
  std::unique_ptr<TForm1> m_form;

  template <typename T>
  T* Find(const char* name) { return FindControl<T>(m_form.get(), name); }
  void WriteSettings(const std::string& text) {
    std::ofstream(m_home->Executable() + ".ini", std::ios::binary) << "[Plotter]\n" << text;
  }

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
    qunsetenv("FAKE_PING_DELAY");
    m_form.reset();
    m_home.reset();
  }

  // The run resumed at start-up finds the web server already listening: a
  // client that connects while the resumed run's first probe waits gets in.
  void theResumedRunStartsAfterTheServer() {
    const int port = FreeLoopbackPort();
    WriteSettings("Run=1\nURL=" + EncodeScrambled("127.0.0.1") + "\nTime=60\nWeb=1\nPort=" +
                  std::to_string(port) + "\n");
    qputenv("FAKE_PING_MODE", "slow");
    qputenv("FAKE_PING_DELAY", "0.5");
    std::optional<bool> listeningDuringProbe;
    QTimer probeWatch;
    probeWatch.setSingleShot(true);
    connect(&probeWatch, &QTimer::timeout, this,
            [&] { listeningDuringProbe = LoopbackClient(port).connected(); });
    probeWatch.start(0);  // runs at the first events handled, inside the probe
    m_form = std::make_unique<TForm1>(m_clock, m_home->Environment(&m_dialogs));
    QVERIFY(Find<QToolButton>("btnStart")->isChecked());
    QCOMPARE(m_form->session().Counters().windowTicks, 1);
    QVERIFY(listeningDuringProbe.has_value());
    QVERIFY(*listeningDuringProbe);
  }

  // The exit capture shows the graph as it stands, before the save pass
  // stores the title's blanks as "^": it is the image Capture Now made just
  // before the close.
  void theExitCaptureComesBeforeTheSettingsAreSaved() {
    QTemporaryDir folder;
    m_form = std::make_unique<TForm1>(m_clock, m_home->Environment(&m_dialogs));
    Find<QLineEdit>("edFolder")->setText(folder.path());
    Find<QCheckBox>("cbCapture")->setChecked(true);
    SetRadioChecked(Find<QRadioButton>("rbBMP"), true);
    Find<QLineEdit>("edTitle")->setText(QStringLiteral("Round trip to"));

    Find<QToolButton>("btnSave")->click();
    const QStringList files = QDir(folder.path()).entryList(QDir::Files);
    QCOMPARE(files.size(), 1);
    QFile captured(folder.filePath(files.first()));
    QVERIFY(captured.open(QIODevice::ReadOnly));
    const QByteArray before = captured.readAll();
    captured.close();
    QVERIFY(captured.remove());

    m_form->close();
    QVERIFY(captured.open(QIODevice::ReadOnly));  // the same minute: the same name
    QVERIFY(captured.readAll() == before);
    QVERIFY(m_dialogs.messages.isEmpty());
  }

  // The box sets the switch at once, both ways.
  void minimizeToSysTraySetsTheTraySwitch() {
    m_form = std::make_unique<TForm1>(m_clock, m_home->Environment(&m_dialogs));
    auto* box = Find<QCheckBox>("cbMinimize");
    for (const bool checked : {true, false, true}) {
      box->setChecked(checked);
      QCOMPARE(m_form->minimizeToTray(), checked);
    }
  }
};

QTEST_MAIN(Form1ShellTest)
#include "form1_shell_test.moc"
