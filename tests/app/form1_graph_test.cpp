// The time window and the average line as a run moves them, through the main
// window with the fake ping first on PATH.
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QImage>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <memory>

#include "app/controls.h"
#include "app/form1.h"
#include "app/plottimer.h"
#include "common/fixedclock.h"
#include "recordingdialogs.h"
#include "windowhome.h"

using namespace quorvel;

class Form1GraphTest : public QObject {
  Q_OBJECT

 private:
  FixedClock m_clock;
  RecordingDialogs m_dialogs;
  std::unique_ptr<WindowHome> m_home;  // outlives the window
  std::unique_ptr<TForm1> m_form;

  template <typename T>
  T* Find(const char* name) { return FindControl<T>(m_form.get(), name); }
  const AxisRange& Window() const { return m_form->session().Chart().bottom; }
  // Start, then timer ticks until `ticks` points have been plotted.
  void Plot(int ticks) {
    Find<QToolButton>("btnStart")->click();
    for (int k = 1; k < ticks; ++k) m_form->Timer1Timer();
  }

 private slots:
  void initTestCase() {
    qputenv("PATH", QByteArray(QUORVEL_FAKE_PING_DIR) + ":" + qgetenv("PATH"));
    qputenv("FAKE_PING_MODE", "reply");
  }

  void init() {
    m_dialogs = RecordingDialogs();
    m_home = std::make_unique<WindowHome>();
    m_form = std::make_unique<TForm1>(m_clock, m_home->Environment(&m_dialogs));
    Find<QComboBox>("cbURL")->setEditText(QStringLiteral("127.0.0.1"));
    Find<QSpinBox>("spX")->setValue(60);  // ticks come from the test alone
    Find<QSpinBox>("spPoints")->setValue(10);
    Find<QSpinBox>("spPages")->setValue(0);
    Find<QCheckBox>("cbIgnore")->setChecked(false);
  }

  void cleanup() {
    m_form.reset();
    m_home.reset();
  }

  // The window has slid on to 15 ... 25: a page size below its minimum is
  // refused and leaves it as it is; one above it becomes the maximum.
  void pointsPerPageSetsTheMaximumUnlessBelowTheMinimum_data() {
    QTest::addColumn<int>("points");
    QTest::addColumn<double>("min");
    QTest::addColumn<double>("max");
    QTest::newRow("below the minimum") << 12 << 15.0 << 25.0;
    QTest::newRow("above the minimum") << 20 << 15.0 << 20.0;
  }

  void pointsPerPageSetsTheMaximumUnlessBelowTheMinimum() {
    QFETCH(int, points);
    QFETCH(double, min);
    QFETCH(double, max);
    Plot(26);
    QVERIFY(Window() == AxisRange(15, 25));
    Find<QSpinBox>("spPoints")->setValue(points);
    QCOMPARE(Window().Min(), min);
    QCOMPARE(Window().Max(), max);
  }

  void restartAtThePageLimitResetsTheWindow() {
    SetRadioChecked(Find<QRadioButton>("rbRestart"), true);
    Find<QSpinBox>("spPages")->setValue(2);
    Plot(21);  // two pages of ticks counted since Start; the next one starts over
    QVERIFY(Window().Min() > 0);
    m_form->Timer1Timer();
    QCOMPARE(m_form->session().Chart().data.PingCount(), std::size_t{0});
    QVERIFY(Window() == AxisRange(0, 10));
    m_form->Timer1Timer();
    QCOMPARE(m_form->session().Chart().data.PingCount(), std::size_t{1});
    QVERIFY(Window() == AxisRange(0, 10));
  }

  // Holding the primary button on the graph pauses the run; releasing it
  // goes on only while the run is on.
  void releasingTheGraphArmsTheTimerOnlyWhileRunning_data() {
    QTest::addColumn<bool>("running");
    QTest::newRow("running") << true;
    QTest::newRow("stopped") << false;
  }

  void releasingTheGraphArmsTheTimerOnlyWhileRunning() {
    QFETCH(bool, running);
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    Find<QToolButton>("btnStart")->click();
    if (!running) Find<QToolButton>("btnStop")->click();
    auto* timer = Find<PlotTimer>("Timer1");
    auto* chart = Find<QWidget>("Chart1");
    const QPoint middle = chart->rect().center();
    QTest::mousePress(chart, Qt::LeftButton, {}, middle);
    QVERIFY(!timer->isEnabled());
    QTest::mouseRelease(chart, Qt::LeftButton, {}, middle);
    QCOMPARE(timer->isEnabled(), running);
  }

  // The average line (fuchsia) is drawn exactly while "Plot average ping"
  // is checked at the tick.
  void plotAveragePingShowsTheAverageLine_data() {
    QTest::addColumn<bool>("plotAverage");
    QTest::newRow("checked") << true;
    QTest::newRow("unchecked") << false;
  }

  void plotAveragePingShowsTheAverageLine() {
    QFETCH(bool, plotAverage);
    QTemporaryDir folder;
    Find<QLineEdit>("edFolder")->setText(folder.path());
    SetRadioChecked(Find<QRadioButton>("rbBMP"), true);
    Find<QCheckBox>("cbPlotAvg")->setChecked(plotAverage);
    qputenv("FAKE_PING_TIME", "20");
    Plot(3);
    qputenv("FAKE_PING_TIME", "40");
    Plot(3);
    qunsetenv("FAKE_PING_TIME");
    Find<QToolButton>("btnSave")->click();

    const QStringList files = QDir(folder.path()).entryList(QDir::Files);
    QCOMPARE(files.size(), 1);
    const QImage image(folder.filePath(files.first()));
    QVERIFY(!image.isNull());
    int averagePixels = 0;
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) {
        if ((image.pixel(x, y) & 0xFFFFFFu) == 0xFF00FFu) ++averagePixels;
      }
    }
    QCOMPARE(averagePixels > 0, plotAverage);
  }
};

QTEST_MAIN(Form1GraphTest)
#include "form1_graph_test.moc"
