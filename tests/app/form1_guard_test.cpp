// One probe at a time, Start's own included: what happens when a timer tick
// falls due or Start is pressed again while Start's first probe still waits
// for a slow ping.
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include <memory>

#include "app/form1.h"
#include "common/fixedclock.h"
#include "recordingdialogs.h"
#include "windowhome.h"

using namespace quorvel;

class Form1GuardTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    qputenv("PATH", QByteArray(QUORVEL_FAKE_PING_DIR) + ":" + qgetenv("PATH"));
  }

  void cleanup() {
    qunsetenv("FAKE_PING_SCRIPT");
    qunsetenv("FAKE_PING_DELAY");
  }

  void eventsDuringStartsProbeWaitForIt_data() {
    QTest::addColumn<bool>("secondStart");  // else a timer tick falls due
    QTest::addColumn<QList<int>>("plotted");
    QTest::addColumn<int>("probes");
    // A second Start runs once the first is over, with its own probe.
    QTest::newRow("Start pressed again") << true << QList<int>{111, 222} << 2;
    // A tick falling due during the probe is dropped.
    QTest::newRow("timer tick falls due") << false << QList<int>{111} << 1;
  }

  void eventsDuringStartsProbeWaitForIt() {
    QFETCH(bool, secondStart);
    QFETCH(QList<int>, plotted);
    QFETCH(int, probes);

    WindowHome home;
    // The first ping answers 111 after 0.6 s, every later one 222 at once.
    const QString script = home.Path() + QStringLiteral("/pings");
    QFile file(script);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("slow 111\nreply 222\n");
    file.close();
    qputenv("FAKE_PING_SCRIPT", script.toLocal8Bit());
    qputenv("FAKE_PING_DELAY", "0.6");

    FixedClock clock;
    RecordingDialogs dialogs;
    TForm1 form(clock, home.Environment(&dialogs));
    form.show();
    FindControl<QComboBox>(&form, "cbURL")->setEditText(QStringLiteral("127.0.0.1"));
    FindControl<QSpinBox>(&form, "spX")->setValue(60);  // no real tick during the test
    FindControl<QCheckBox>(&form, "cbIgnore")->setChecked(false);
    auto* start = FindControl<QToolButton>(&form, "btnStart");

    // Fires while Start's probe waits: events are handled meanwhile.
    QTimer::singleShot(200, &form, [&] {
      if (secondStart) {
        start->click();
      } else {
        form.Timer1Timer();
      }
    });
    start->click();

    const PlotData& data = form.session().Chart().data;
    QList<int> values;
    for (std::size_t i = 0; i < data.PingCount(); ++i) {
      values.push_back(static_cast<int>(data.Ping(i).value));
    }
    QCOMPARE(values, plotted);
    QFile state(script + QStringLiteral(".state"));
    QVERIFY(state.open(QIODevice::ReadOnly));
    QCOMPARE(state.readAll().trimmed().toInt(), probes);
    QVERIFY(start->isChecked());
    QVERIFY(dialogs.messages.isEmpty());
  }
};

QTEST_MAIN(Form1GuardTest)
#include "form1_guard_test.moc"
