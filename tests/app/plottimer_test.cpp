// The plot timer: periods beyond an int of milliseconds, and the arming
// rules the plot run relies on.
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include "app/plottimer.h"

using quorvel::PlotTimer;

class PlotTimerTest : public QObject {
  Q_OBJECT

 private slots:
  void firesEveryPeriod() {
    PlotTimer timer;
    QSignalSpy fired(&timer, &PlotTimer::timeout);
    timer.setInterval(30);
    timer.setEnabled(true);
    QTRY_VERIFY_WITH_TIMEOUT(fired.count() >= 3, 5000);
    timer.setEnabled(false);
    const qsizetype count = fired.count();
    QTest::qWait(100);
    QCOMPARE(fired.count(), count);
  }

  void aPeriodBeyondAnIntOfMillisecondsDoesNotFireEarly() {
    PlotTimer timer;
    QSignalSpy fired(&timer, &PlotTimer::timeout);
    timer.setInterval(2147383647LL * 1000);  // the longest interval the box allows
    QCOMPARE(timer.interval(), 2147383647LL * 1000);
    timer.setEnabled(true);
    QTest::qWait(200);
    QCOMPARE(fired.count(), 0);
    QVERIFY(timer.isEnabled());
  }

  void armingAnArmedTimerKeepsItsPeriod() {
    PlotTimer timer;
    QSignalSpy fired(&timer, &PlotTimer::timeout);
    timer.setInterval(300);
    timer.setEnabled(true);
    QElapsedTimer clock;
    clock.start();
    // Arming again every 50 ms must not push the tick back.
    while (fired.isEmpty() && clock.elapsed() < 5000) {
      timer.setEnabled(true);
      QTest::qWait(50);
    }
    QCOMPARE(fired.count(), 1);
  }

  void aNewPeriodStartsAfresh() {
    PlotTimer timer;
    QSignalSpy fired(&timer, &PlotTimer::timeout);
    timer.setInterval(1000);
    timer.setEnabled(true);
    // Changing the period every 100 ms keeps restarting it: no tick.
    for (int i = 0; i < 15; ++i) {
      QTest::qWait(100);
      timer.setInterval(i % 2 ? 1000 : 1001);
    }
    QCOMPARE(fired.count(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(fired.count(), 1, 5000);
  }
};

QTEST_MAIN(PlotTimerTest)
#include "plottimer_test.moc"
