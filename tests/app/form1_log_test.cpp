// The ping log and the address history through the main window: the log
// options and the caption, log lines written by real ticks (the fake ping
// first on PATH), and the address box with its history, context menu and
// typing completion.
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/fixedclock.h"
#include "app/controls.h"
#include "app/dialogs.h"
#include "app/form1.h"
#include "recordingdialogs.h"
#include "windowhome.h"
#include "app/plottimer.h"
#include "run/timeformat.h"

using namespace quorvel;

namespace {

const QByteArray kStamp = "Tue 05 Mar 2024  14:37:00, ";

}  // namespace

class Form1LogTest : public QObject {
  Q_OBJECT

 private:
  FixedClock m_clock;
  RecordingDialogs m_dialogs;
  std::unique_ptr<QTemporaryDir> m_dir;
  std::unique_ptr<WindowHome> m_home;  // outlives the window
  std::unique_ptr<TForm1> m_form;

  template <typename T>
  T* Find(const char* name) { return FindControl<T>(m_form.get(), name); }
  QComboBox* Url() { return Find<QComboBox>("cbURL"); }
  QLineEdit* LogName() { return Find<QLineEdit>("edLog"); }
  QString InDir(const QString& name) const { return m_dir->filePath(name); }

  void ShowActive() {
    m_form->show();
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
  }

  // Each run of the fake ping takes the next line: "reply <time>" or "lost".
  void PingScript(const QStringList& lines) {
    QVERIFY(UseFakePingScript(m_dir->path(), lines));
  }

  QByteArray FileBytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return QByteArray("<missing>");
    return file.readAll();
  }

  // Opens the drop-down list, picks the entry `text` with the keyboard and
  // lets the list close.
  void Pick(const QString& text) {
    QComboBox* url = Url();
    const int row = url->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    QVERIFY(row >= 0);
    url->showPopup();
    QAbstractItemView* view = url->view();
    QTRY_VERIFY(view->isVisible());
    view->setCurrentIndex(url->model()->index(row, 0));
    QTest::keyClick(view, Qt::Key_Return);
    QTRY_VERIFY(!view->isVisible());
    QCoreApplication::processEvents();
  }

  std::vector<std::string> ComboItems() {
    std::vector<std::string> items;
    for (int i = 0; i < Url()->count(); ++i) items.push_back(Url()->itemText(i).toStdString());
    return items;
  }

  void Start(const QString& address) {
    Url()->setEditText(address);
    Find<QToolButton>("btnStart")->click();
    Find<QToolButton>("btnStop")->click();
  }

 private slots:
  void initTestCase() {
    qputenv("PATH", QByteArray(QUORVEL_FAKE_PING_DIR) + ":" + qgetenv("PATH"));
    qunsetenv("FAKE_PING_MODE");
  }

  void init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    PingScript({QStringLiteral("reply 12.345")});
    m_dialogs = RecordingDialogs();
    m_home = std::make_unique<WindowHome>();
    m_form = std::make_unique<TForm1>(m_clock, m_home->Environment(&m_dialogs));
    Url()->setEditText(QStringLiteral("127.0.0.1"));
    Find<SpinEdit>("spX")->setValue(60);  // the timer never falls due during a test
    Find<QCheckBox>("cbIgnore")->setChecked(false);
  }

  void cleanup() {
    m_form.reset();
    m_dir.reset();
  }

  // --- The log step at the end of the tick. ---

  void thresholdComparingThePing_data() {
    QTest::addColumn<QString>("ping");
    QTest::addColumn<QByteArray>("log");
    QTest::newRow("50 is not above 50") << "50.400" << QByteArray("<missing>");
    QTest::newRow("51 is") << "51.000" << kStamp + "51ms\r\n";
  }
  void thresholdComparingThePing() {
    QFETCH(QString, ping);
    QFETCH(QByteArray, log);
    PingScript({QStringLiteral("reply ") + ping});
    LogName()->setText(InDir("ping.txt"));
    Find<QRadioButton>("rbOnlyLog")->setChecked(true);
    Find<QRadioButton>("rbPing")->setChecked(true);
    Find<SpinEdit>("spLog")->setValue(50);
    m_form->Timer1Timer();
    QCOMPARE(m_form->session().Chart().data.PingCount(), std::size_t{1});
    QCOMPARE(FileBytes(InDir("ping.txt")), log);
    QVERIFY(m_dialogs.messages.isEmpty());
  }

  void thresholdComparingTheAverageLogsThePing() {
    PingScript({QStringLiteral("reply 40.0"), QStringLiteral("reply 61.0")});
    LogName()->setText(InDir("avg.txt"));
    Find<QRadioButton>("rbOnlyLog")->setChecked(true);
    QVERIFY(Find<QRadioButton>("rbAvgPing")->isChecked());
    Find<SpinEdit>("spLog")->setValue(50);
    m_form->Timer1Timer();  // one point: its own 40 is compared
    QVERIFY(!QFile::exists(InDir("avg.txt")));
    m_form->Timer1Timer();  // average 50.5
    QCOMPARE(FileBytes(InDir("avg.txt")), kStamp + "61ms\r\n");
  }

  void missingDirectoryOrNoDirectoryWritesNothing_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("removed directory") << "gone/log.txt";
    QTest::newRow("no directory part") << "";
  }
  void missingDirectoryOrNoDirectoryWritesNothing() {
    QFETCH(QString, name);
    const QString logName = name.isEmpty() ? QStringLiteral("quorvel-log-test.txt") : InDir(name);
    QFile::remove(logName);
    LogName()->setText(logName);
    Find<QRadioButton>("rbAllLog")->setChecked(true);
    m_form->Timer1Timer();
    m_form->Timer1Timer();
    QCOMPARE(m_form->session().Chart().data.PingCount(), std::size_t{2});
    QVERIFY(!QFile::exists(logName));
    QVERIFY(m_dialogs.messages.isEmpty());
  }

  // An unwritable log is boxed once; later failures are shown in the status
  // bar (a box per ping would lock the window) until a line is written.
  void unwritableFileIsBoxedOnceAndTheRunGoesOn() {
    auto* timer = Find<PlotTimer>("Timer1");
    Find<QToolButton>("btnStart")->click();  // logging still off
    QVERIFY(timer->isEnabled());
    const QString logName = InDir("a-directory");
    QVERIFY(QDir().mkdir(logName));
    LogName()->setText(logName);
    Find<QRadioButton>("rbAllLog")->setChecked(true);

    m_form->Timer1Timer();
    QCOMPARE(m_dialogs.messages, QStringList{QStringLiteral("Is a directory")});
    m_form->Timer1Timer();
    QCOMPARE(m_dialogs.messages.size(), 1);
    QCOMPARE(Find<QLabel>("StatusPanel1")->text(), QStringLiteral("Log file not written: Is a directory"));
    QVERIFY(timer->isEnabled());
    // The log is the tick's last step: the points and the average are in
    // (the average line starts at the second point).
    QCOMPARE(m_form->session().Chart().data.PingCount(), std::size_t{3});
    QCOMPARE(m_form->session().Chart().data.AverageCount(), std::size_t{2});

    QVERIFY(QDir().rmdir(logName));
    m_form->Timer1Timer();
    QCOMPARE(m_dialogs.messages.size(), 1);
    QCOMPARE(FileBytes(logName), kStamp + "12ms\r\n");
    // Written once, the next failure is boxed again.
    QVERIFY(QFile::remove(logName));
    QVERIFY(QDir().mkdir(logName));
    m_form->Timer1Timer();
    QCOMPARE(m_dialogs.messages.size(), 2);
  }

  void unwritableFileEndsStartBeforeTheRunIsArmed() {
    const QString logName = InDir("a-directory");
    QVERIFY(QDir().mkdir(logName));
    LogName()->setText(logName);
    Find<QRadioButton>("rbAllLog")->setChecked(true);
    Find<QToolButton>("btnStart")->click();
    QCOMPARE(m_dialogs.messages, QStringList{QStringLiteral("Is a directory")});
    QVERIFY(!Find<PlotTimer>("Timer1")->isEnabled());
    QCOMPARE(Url()->count(), 0);
  }

  // The run from Start, the log file growing line by line; a file already
  // there is appended to.
  void runWritesTheLogLineByLine() {
    PingScript({QStringLiteral("reply 12.345"), QStringLiteral("lost"),
                QStringLiteral("reply 0.270"), QStringLiteral("reply 61.0")});
    const QString logName = InDir("run.txt");
    {
      QFile file(logName);
      QVERIFY(file.open(QIODevice::WriteOnly));
      file.write("earlier\r\n");
    }
    LogName()->setText(logName);
    Find<QRadioButton>("rbAllLog")->setChecked(true);
    Find<QToolButton>("btnStart")->click();
    m_form->Timer1Timer();
    m_form->Timer1Timer();
    m_form->Timer1Timer();
    QCOMPARE(FileBytes(logName), "earlier\r\n" + kStamp + "12ms\r\n" + kStamp + "3000ms\r\n" +
                                     kStamp + "0ms\r\n" + kStamp + "61ms\r\n");
    QVERIFY(m_dialogs.messages.isEmpty());
    QCOMPARE(m_form->session().History().Entries(), std::vector<std::string>{"127.0.0.1"});
  }

  // --- Log options and the caption. ---

  void captionFollowsTheLogOptions() {
    auto caption = [this] { return m_form->windowTitle(); };
    QCOMPARE(caption(), QString("Quorvel"));
    LogName()->setText("/var/tmp/b.txt");
    QCOMPARE(caption(), QString("Quorvel"));  // "Don't write a log file" is checked
    Find<QRadioButton>("rbAllLog")->setChecked(true);
    QCOMPARE(caption(), QString("Quorvel  [Log: b.txt]"));
    Find<QRadioButton>("rbOnlyLog")->setChecked(true);
    QCOMPARE(caption(), QString("Quorvel  [Log: b.txt]"));
    LogName()->setText("/var/tmp/c.txt");  // a new name leaves the caption
    QCOMPARE(caption(), QString("Quorvel  [Log: b.txt]"));
    LogName()->clear();
    QCOMPARE(caption(), QString("Quorvel"));
    LogName()->setText("d.txt");
    Find<QRadioButton>("rbAllLog")->setChecked(true);
    QCOMPARE(caption(), QString("Quorvel  [Log: d.txt]"));
    Find<QRadioButton>("rbNoLog")->setChecked(true);
    QCOMPARE(caption(), QString("Quorvel"));
    // While hidden, a log mode with an empty name opens no dialog.
    LogName()->clear();
    Find<QRadioButton>("rbOnlyLog")->setChecked(true);
    QCOMPARE(caption(), QString("Quorvel"));
    QVERIFY(m_dialogs.saves.isEmpty());
    QVERIFY(m_dialogs.confirmations.isEmpty());
  }

  void leavingTheNameBoxMakesATextFileName_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("left");
    QTest::newRow("no extension") << "mylog" << "mylog.txt";
    QTest::newRow("another extension") << "a.log" << "a.txt";
    QTest::newRow("dot in the directory") << "/tmp/x.y/log" << "/tmp/x.y/log.txt";
    QTest::newRow("empty") << "" << ".txt";
  }
  void leavingTheNameBoxMakesATextFileName() {
    QFETCH(QString, typed);
    QFETCH(QString, left);
    ShowActive();
    Find<QTabWidget>("PageControl1")->setCurrentWidget(Find<QWidget>("TabSheet2"));
    Find<QTabWidget>("PageControl2")->setCurrentWidget(Find<QWidget>("TabSheet5"));
    LogName()->setText(typed);
    LogName()->setFocus(Qt::TabFocusReason);
    QTRY_VERIFY(LogName()->hasFocus());
    QCOMPARE(LogName()->text(), typed);
    Find<QPushButton>("btnLogBrowse")->setFocus(Qt::TabFocusReason);
    QTRY_COMPARE(LogName()->text(), left);
  }

  void logModeWithoutANameAsksForTheFile() {
    ShowActive();
    Url()->setEditText("www.Alpha.example");
    m_dialogs.saveAnswer = InDir("alpha.txt");
    Find<QRadioButton>("rbOnlyLog")->setChecked(true);
    QCOMPARE(m_dialogs.saves.size(), 1);
    const RecordingDialogs::SaveRequest& asked = m_dialogs.saves.front();
    QCOMPARE(asked.fileName, QString("Alpha.txt"));
    QCOMPARE(asked.directory, m_home->Path());
    QCOMPARE(asked.filter, QString("Text Files (*.txt)|*.txt|All Files (*.*)|*.*"));
    QCOMPARE(asked.filterIndex, 1);
    QCOMPARE(asked.defaultSuffix, QString(".txt"));
    QCOMPARE(LogName()->text(), InDir("alpha.txt"));
    QVERIFY(Find<QRadioButton>("rbOnlyLog")->isChecked());
    QVERIFY(!Find<QRadioButton>("rbNoLog")->isChecked());
    QCOMPARE(m_form->windowTitle(), QString("Quorvel  [Log: alpha.txt]"));
    QVERIFY(m_dialogs.confirmations.isEmpty());

    // Browsing again starts where the log file is.
    Find<QPushButton>("btnLogBrowse")->click();
    QCOMPARE(m_dialogs.saves.size(), 2);
    QCOMPARE(m_dialogs.saves.back().directory, m_dir->path());
  }

  // Cancelling leaves the name empty: "Don't write a log file" comes back,
  // which runs the mode handler again inside the first; it asks nothing more.
  void cancelledBrowseFallsBackToNoLogOnce() {
    ShowActive();
    Find<QRadioButton>("rbAllLog")->setChecked(true);
    QCOMPARE(m_dialogs.saves.size(), 1);
    QVERIFY(m_dialogs.confirmations.isEmpty());
    QVERIFY(Find<QRadioButton>("rbNoLog")->isChecked());
    QVERIFY(!Find<QRadioButton>("rbAllLog")->isChecked());
    QCOMPARE(m_form->windowTitle(), QString("Quorvel"));
  }

  // Choosing a file while "Don't write a log file" is checked leaves no mode.
  void browseWithNoLogLeavesNoModeChecked() {
    m_dialogs.saveAnswer = InDir("x.txt");
    Find<QPushButton>("btnLogBrowse")->click();
    QCOMPARE(LogName()->text(), InDir("x.txt"));
    for (const char* mode : {"rbNoLog", "rbAllLog", "rbOnlyLog"}) {
      QVERIFY(!Find<QRadioButton>(mode)->isChecked());
    }
    m_form->Timer1Timer();
    QVERIFY(!QFile::exists(InDir("x.txt")));
  }

  // --- The address history. ---

  void historyAddsOnSuccessfulStart() {
    Start("Router");
    QCOMPARE(Url()->currentText(), QString("Router"));
    QCOMPARE(Url()->currentIndex(), -1);  // adding selects nothing
    Start("Router");
    Start("router");
    Start("Beta");
    Start("alpha");
    const std::vector<std::string> expected{"alpha", "Beta", "Router", "router"};
    QCOMPARE(m_form->session().History().Entries(), expected);
    QCOMPARE(ComboItems(), expected);

    qputenv("FAKE_PING_MODE", "unknown");
    PingScript({QStringLiteral("unknown")});
    Start("nohost.invalid");
    QCOMPARE(m_form->session().History().Entries(), expected);
  }

  void loadedHistoryIsSortedAndLeavesTheAddress() {
    Url()->setEditText("typed.example");
    m_form->LoadAddressHistory({"gamma", "", "Alpha", "beta"});
    const std::vector<std::string> expected{"", "Alpha", "beta", "gamma"};
    QCOMPARE(m_form->session().History().Entries(), expected);
    QCOMPARE(ComboItems(), expected);
    QCOMPARE(Url()->currentText(), QString("typed.example"));
    QCOMPARE(Url()->currentIndex(), -1);
  }

  void pickAsksToChangeTheLogName() {
    m_form->LoadAddressHistory({"www.alpha.example", "localhost", "10.0.0.1"});
    ShowActive();
    LogName()->setText(InDir("other.txt"));
    Find<QRadioButton>("rbAllLog")->setChecked(true);
    QVERIFY(m_dialogs.confirmations.isEmpty());

    Pick("www.alpha.example");
    QCOMPARE(Url()->currentText(), QString("www.alpha.example"));
    QVERIFY(m_form->session().Chart().look.title.find("www.alpha.example") != std::string::npos);
    QCOMPARE(m_dialogs.confirmations.size(), 1);
    const RecordingDialogs::Confirmation& asked = m_dialogs.confirmations.front();
    QCOMPARE(asked.text, QString("Change Log filename?"));
    QCOMPARE(asked.buttons, Dialogs::ConfirmButtons::YesNo);
    QCOMPARE(asked.topLeft, m_form->frameGeometry().topLeft() + QPoint(40, 100));
    QVERIFY(m_dialogs.saves.isEmpty());  // answered No
    QCOMPARE(LogName()->text(), InDir("other.txt"));

    LogName()->setText(InDir("alpha.txt"));
    Pick("www.alpha.example");
    QCOMPARE(m_dialogs.confirmations.size(), 1);
    Pick("localhost");  // no dot: never asks
    QCOMPARE(m_dialogs.confirmations.size(), 1);

    m_dialogs.confirmAnswer = true;
    m_dialogs.saveAnswer = InDir("10.txt");
    Pick("10.0.0.1");
    QCOMPARE(m_dialogs.confirmations.size(), 2);
    QCOMPARE(m_dialogs.saves.size(), 1);
    QCOMPARE(m_dialogs.saves.front().fileName, QString("10.txt"));
    QCOMPARE(LogName()->text(), InDir("10.txt"));
  }

  void pickWithoutLoggingAsksNothing() {
    m_form->LoadAddressHistory({"www.alpha.example"});
    ShowActive();
    LogName()->setText(InDir("other.txt"));
    Pick("www.alpha.example");
    QVERIFY(m_dialogs.confirmations.isEmpty());
  }

  // With a name set, choosing a log mode offers the name of the selected entry.
  void logModeOffersTheSelectedEntrysName() {
    m_form->LoadAddressHistory({"www.alpha.example"});
    ShowActive();
    Url()->setCurrentIndex(0);
    LogName()->setText(InDir("other.txt"));
    m_dialogs.confirmAnswer = true;
    m_dialogs.saveAnswer = InDir("alpha.txt");
    Find<QRadioButton>("rbOnlyLog")->setChecked(true);
    QCOMPARE(m_dialogs.confirmations.size(), 1);
    QCOMPARE(m_dialogs.saves.size(), 1);
    QCOMPARE(m_dialogs.saves.front().fileName, QString("alpha.txt"));
    QCOMPARE(m_form->windowTitle(), QString("Quorvel  [Log: alpha.txt]"));
  }

  void contextMenuEnablesByClipboardAndSelection() {
    auto* menu = Find<QMenu>("PopupMenu2");
    auto* cut = Find<QAction>("Cut1");
    auto* copy = Find<QAction>("Copy1");
    auto* paste = Find<QAction>("Paste1");
    auto* remove = Find<QAction>("DeletefromHistory1");
    auto open = [menu] {
      menu->popup(QPoint(0, 0));
      menu->hide();
    };
    QApplication::clipboard()->setText("10.1.1.1");
    Url()->lineEdit()->setSelection(0, 3);
    open();
    QVERIFY(paste->isEnabled());
    QVERIFY(cut->isEnabled());
    QVERIFY(copy->isEnabled());
    QVERIFY(remove->isEnabled());

    QApplication::clipboard()->clear();
    Url()->lineEdit()->deselect();
    open();
    QVERIFY(!paste->isEnabled());
    QVERIFY(!cut->isEnabled());
    QVERIFY(!copy->isEnabled());
    QVERIFY(remove->isEnabled());
  }

  void clipboardCommandsActOnTheWholeText() {
    QLineEdit* edit = Url()->lineEdit();
    edit->setSelection(2, 3);
    Find<QAction>("Copy1")->trigger();
    QCOMPARE(QApplication::clipboard()->text(), QString("127.0.0.1"));
    QCOMPARE(Url()->currentText(), QString("127.0.0.1"));

    Url()->setEditText("192.0.2.1");
    edit->setSelection(0, 3);
    Find<QAction>("Cut1")->trigger();
    QCOMPARE(QApplication::clipboard()->text(), QString("192.0.2.1"));
    QCOMPARE(Url()->currentText(), QString());

    QApplication::clipboard()->setText("10.9.8.7");
    Find<QAction>("Paste1")->trigger();
    QCOMPARE(Url()->currentText(), QString("10.9.8.7"));
    // These set the text without the change event: the title follows later.
    QVERIFY(m_form->session().Chart().look.title.find("192.0.2.1") != std::string::npos);
    Find<QCheckBox>("cbAppInterval")->toggle();
    QVERIFY(m_form->session().Chart().look.title.find("10.9.8.7") != std::string::npos);
  }

  void deleteFromHistoryRemovesTheSelectedEntry() {
    m_form->LoadAddressHistory({"a.example", "b.example", "c.example"});
    Url()->setCurrentIndex(1);
    QCOMPARE(Url()->currentText(), QString("b.example"));
    Find<QAction>("DeletefromHistory1")->trigger();
    const std::vector<std::string> expected{"a.example", "c.example"};
    QCOMPARE(m_form->session().History().Entries(), expected);
    QCOMPARE(ComboItems(), expected);
    QCOMPARE(Url()->currentText(), QString());
    QCOMPARE(Url()->currentIndex(), -1);

    // None selected: nothing removed, the text emptied all the same.
    Url()->setEditText("c.example");
    Find<QAction>("DeletefromHistory1")->trigger();
    QCOMPARE(m_form->session().History().Entries(), expected);
    QCOMPARE(Url()->currentText(), QString());
  }

  void clearHistoryAsksFirst() {
    m_form->LoadAddressHistory({"a.example", "b.example"});
    Url()->setEditText("b.example");
    Find<QPushButton>("btnClearHistory")->click();
    QCOMPARE(m_dialogs.confirmations.size(), 1);
    const RecordingDialogs::Confirmation& asked = m_dialogs.confirmations.front();
    QCOMPARE(asked.text, QString("Delete Address History?"));
    QCOMPARE(asked.buttons, Dialogs::ConfirmButtons::YesCancel);
    QCOMPARE(asked.topLeft, m_form->frameGeometry().topLeft() + QPoint(250, 250));
    QCOMPARE(Url()->count(), 2);
    QCOMPARE(Url()->currentText(), QString("b.example"));

    m_dialogs.confirmAnswer = true;
    Find<QPushButton>("btnClearHistory")->click();
    QVERIFY(m_form->session().History().Entries().empty());
    QCOMPARE(Url()->count(), 0);
    QCOMPARE(Url()->currentText(), QString());
  }

  void typingCompletesFromTheHistory() {
    m_form->LoadAddressHistory({"beta", "Alpine.example", "alpha.example"});
    QLineEdit* edit = Url()->lineEdit();
    edit->clear();
    QTest::keyClicks(edit, "al");
    QCOMPARE(edit->text(), QString("alpha.example"));
    QCOMPARE(edit->selectedText(), QString("pha.example"));
    QVERIFY(m_form->session().Chart().look.title.find("alpha.example") != std::string::npos);
    QTest::keyClicks(edit, "PI");  // typing on replaces the completed part
    QCOMPARE(edit->text(), QString("alPIne.example"));
    QCOMPARE(edit->selectedText(), QString("ne.example"));
    QTest::keyClick(edit, Qt::Key_Backspace);  // a deletion is not completed
    QCOMPARE(edit->text(), QString("alPI"));
    QTest::keyClick(edit, Qt::Key_Backspace);
    QCOMPARE(edit->text(), QString("alP"));
    QTest::keyClicks(edit, "x");
    QCOMPARE(edit->text(), QString("alPx"));
    QVERIFY(!edit->hasSelectedText());
  }
};

QTEST_MAIN(Form1LogTest)
#include "form1_log_test.moc"
