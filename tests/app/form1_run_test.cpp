// The plot run driven through the main window, with the fake ping first on
// PATH.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include <memory>

#include "app/form1.h"
#include "windowhome.h"
#include "graph/colour.h"
#include "run/timeformat.h"

using namespace quorvel;

class Form1RunTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void init();
  void cleanup();
  void replyIsPlottedInThePlotColour();
  void lostAndSilentPingsStandAtTheTimeoutInRed();
  void hugeOutputIsRead();
  void pageLimitStopsTheRun();
  void unknownHostStopsWithAMessage();
  void timerDrivesTicks();
  void clearEmptiesTheGraph();
  void intervalSetsTimeout();

 private:
  template <typename T>
  T* child(const char* name) { return FindControl<T>(m_form.get(), name); }
  void setMode(const char* mode) { qputenv("FAKE_PING_MODE", mode); }

  SystemLocalClock m_clock;
  std::unique_ptr<WindowHome> m_home;  // outlives the window
  std::unique_ptr<TForm1> m_form;
  QStringList m_messages;
};

void Form1RunTest::initTestCase() {
  const QByteArray path = QByteArray(QUORVEL_FAKE_PING_DIR) + ":" + qgetenv("PATH");
  qputenv("PATH", path);
  // Message boxes are answered as soon as they show, and their texts kept.
  auto* closer = new QTimer(this);
  connect(closer, &QTimer::timeout, this, [this] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      m_messages << box->text();
      box->accept();
    }
  });
  closer->start(20);
}

void Form1RunTest::init() {
  setMode("reply");
  qputenv("FAKE_PING_TIME", "12.345");
  m_messages.clear();
  m_home = std::make_unique<WindowHome>();
  m_form = std::make_unique<TForm1>(m_clock, m_home->Environment(nullptr));
  m_form->show();
  child<QComboBox>("cbURL")->setEditText(QStringLiteral("127.0.0.1"));
  child<QSpinBox>("spX")->setValue(1);
  child<QSpinBox>("spPoints")->setValue(10);
  child<QSpinBox>("spPages")->setValue(1);
}

void Form1RunTest::cleanup() { m_form.reset(); }

void Form1RunTest::replyIsPlottedInThePlotColour() {
  child<QCheckBox>("cbIgnore")->setChecked(false);
  child<QToolButton>("btnStart")->click();
  const PlotData& data = m_form->session().Chart().data;
  QCOMPARE(data.PingCount(), std::size_t{1});
  QCOMPARE(data.Ping(0).value, 12);
  QCOMPARE(data.Ping(0).colour, kBlue);
  QVERIFY(child<QToolButton>("btnStart")->isChecked());
  QVERIFY(!child<QComboBox>("cbURL")->isEnabled());
  QVERIFY(child<QLabel>("StatusPanel0")->text().startsWith(QStringLiteral("Plot Started: ")));
  // The panel shows what matters of the reply; the whole line is its tooltip.
  QCOMPARE(child<QLabel>("StatusPanel1")->text(), QStringLiteral("Reply from 127.0.0.1: time=12.345 ms"));
  QCOMPARE(child<QLabel>("StatusPanel1")->toolTip(),
           QStringLiteral("Reply from 127.0.0.1: bytes=64 icmp_seq=1 ttl=64 time=12.345ms"));
  QVERIFY(child<QPlainTextEdit>("Memo1")->toPlainText().contains(QStringLiteral("1 received")));
}

void Form1RunTest::lostAndSilentPingsStandAtTheTimeoutInRed() {
  child<QCheckBox>("cbIgnore")->setChecked(false);
  setMode("lost");
  child<QToolButton>("btnStart")->click();
  setMode("silent");
  m_form->Timer1Timer();
  setMode("error");
  m_form->Timer1Timer();
  const PlotData& data = m_form->session().Chart().data;
  QCOMPARE(data.PingCount(), std::size_t{3});
  for (std::size_t i = 0; i < 3; ++i) {
    QCOMPARE(data.Ping(i).value, 800);
    QCOMPARE(data.Ping(i).colour, kRed);
  }
  QVERIFY(m_messages.isEmpty());
}

void Form1RunTest::hugeOutputIsRead() {
  child<QCheckBox>("cbIgnore")->setChecked(false);
  setMode("huge");
  child<QToolButton>("btnStart")->click();
  QCOMPARE(m_form->session().Chart().data.Ping(0).value, 12);
}

void Form1RunTest::pageLimitStopsTheRun() {
  child<QToolButton>("btnStart")->click();  // the first ping is ignored
  QCOMPARE(m_form->session().Chart().data.PingCount(), std::size_t{0});
  for (int k = 1; k <= 11; ++k) m_form->Timer1Timer();
  QCOMPARE(m_form->session().Chart().data.PingCount(), std::size_t{11});
  QVERIFY(child<QToolButton>("btnStop")->isChecked());
  QVERIFY(child<QLabel>("Label13")->isVisible());
  QVERIFY(child<QComboBox>("cbURL")->isEnabled());
  // The average line holds one point fewer than the ping line.
  QCOMPARE(m_form->session().Chart().data.AverageCount(), std::size_t{10});
}

void Form1RunTest::unknownHostStopsWithAMessage() {
  setMode("unknown");
  child<QComboBox>("cbURL")->setEditText(QStringLiteral("nohost.invalid"));
  child<QToolButton>("btnStart")->click();
  QCOMPARE(m_messages, QStringList{QStringLiteral("Unable to find host nohost.invalid")});
  QVERIFY(m_form->session().Counters().hostNotFound);
  QVERIFY(child<QToolButton>("btnStop")->isChecked());
  QCOMPARE(child<QComboBox>("cbURL")->count(), 0);
}

void Form1RunTest::timerDrivesTicks() {
  child<QCheckBox>("cbIgnore")->setChecked(false);
  child<QToolButton>("btnStart")->click();
  QTRY_VERIFY_WITH_TIMEOUT(m_form->session().Chart().data.PingCount() >= 3, 10000);
  child<QToolButton>("btnStop")->click();
  const std::size_t stoppedAt = m_form->session().Chart().data.PingCount();
  QTest::qWait(1500);
  QCOMPARE(m_form->session().Chart().data.PingCount(), stoppedAt);
}

void Form1RunTest::clearEmptiesTheGraph() {
  child<QCheckBox>("cbIgnore")->setChecked(false);
  child<QToolButton>("btnStart")->click();
  m_form->Timer1Timer();
  child<QToolButton>("btnClear")->click();
  QCOMPARE(m_form->session().Chart().data.PingCount(), std::size_t{0});
  QCOMPARE(m_form->session().Chart().bottom.Min(), 0.0);
  QCOMPARE(m_form->session().Chart().bottom.Max(), 10.0);
  QCOMPARE(m_form->session().Counters().windowTicks, 0);
  child<QCheckBox>("cbIgnore")->setChecked(true);
  m_form->Timer1Timer();
  QCOMPARE(m_form->session().Chart().data.PingCount(), std::size_t{0});  // ignored again after Clear
}

void Form1RunTest::intervalSetsTimeout() {
  QCOMPARE(m_form->session().PingTimeout(), 800);
  child<QSpinBox>("spX")->setValue(2);
  QCOMPARE(m_form->session().PingTimeout(), 1800);
  child<QSpinBox>("spX")->setValue(2147383647);
  QCOMPARE(m_form->session().PingTimeout(), 3000);
}

QTEST_MAIN(Form1RunTest)
#include "form1_run_test.moc"
