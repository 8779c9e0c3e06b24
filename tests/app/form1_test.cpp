// The main window under Qt Test: its controls, the handlers behind them and
// the rules of the graph's look as the user meets them.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

#include <climits>
#include <memory>
#include <optional>

#include "common/fixedclock.h"
#include "app/controls.h"
#include "app/dialogs.h"
#include "app/form1.h"
#include "recordingdialogs.h"
#include "windowhome.h"
#include "output/imagesize.h"

using namespace quorvel;

namespace {

const char* kMaxMessage = "The Vertical Axis maximum value must be greater than the minimum value!";
const char* kMinMessage = "The Vertical Axis minumim value must be less than the maximum value!";

}  // namespace

class Form1Test : public QObject {
  Q_OBJECT

 private:
  FixedClock m_clock;
  RecordingDialogs m_dialogs;
  std::unique_ptr<WindowHome> m_home;  // outlives the window
  std::unique_ptr<TForm1> m_form;

  template <typename T>
  T* Find(const char* name) {
    T* found = m_form->findChild<T*>(QString::fromLatin1(name));
    if (found == nullptr) qWarning("no %s", name);
    return found;
  }

  void ShowActive() {
    m_form->show();
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
  }

  void ClickTab(const char* pageControl, int index) {
    auto* tabs = Find<QTabWidget>(pageControl);
    QTabBar* bar = tabs->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
  }

  // Puts a value into a limit box, then leaves it for the Setup tab bar.
  void EnterLimit(const char* box, int value) {
    auto* spin = Find<SpinEdit>(box);
    spin->setFocus();
    QTRY_VERIFY(spin->hasFocus());
    spin->setValue(value);
    Find<QTabWidget>("PageControl2")->tabBar()->setFocus(Qt::TabFocusReason);
  }

  const ChartModel& Model() const { return m_form->session().Chart(); }

 private slots:
  void init() {
    m_dialogs = RecordingDialogs();
    m_home = std::make_unique<WindowHome>();
    m_form = std::make_unique<TForm1>(m_clock, m_home->Environment(&m_dialogs));
  }

  void cleanup() { m_form.reset(); }

  void controlsCarryTheirCaptions_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    const char* rows[][2] = {
        {"Label11", "Address"},
        {"btnStart", "Start Plot"},
        {"btnStop", "Stop Plot"},
        {"btnClear", "Clear Graph"},
        {"btnSave", "Capture Now"},
        {"btnCopy", "Copy to clipboard"},
        {"btnPrint", "Print Graph"},
        {"btnHelp", "Help"},
        {"Label13", "STOPPED"},
        {"imgNoise", "Capture active"},
        {"GroupBox1", "Horizontal Axis "},
        {"Label2", "Plot points every.. "},
        {"Label1", "seconds"},
        {"Label5", "Points per page"},
        {"Label23", "Graph title:"},
        {"cbAppend", "Append Address to graph title"},
        {"cbAppInterval", "Append Ping interval"},
        {"GroupBox2", "Vertical Axis "},
        {"Label6", "Maximum value"},
        {"Label18", "Minimum value"},
        {"Label7", "Label"},
        {"GroupBox3", "Graph Style"},
        {"rbLine", "Line"},
        {"rbArea", "Filled"},
        {"rbSteps", "Steps"},
        {"rbRamp", "Ramp"},
        {"btnDownColour", "Ping Plot Colour"},
        {"btnAvgColour", "Average Ping Colour"},
        {"cbPlotAvg", "Plot average ping"},
        {"btnBackColour", "Background Colour"},
        {"btnBorderColour", "Border Colour"},
        {"GroupBox4", "Other Options "},
        {"Label4", "Horizontal Axis Label Orientation:"},
        {"rbVertical", "Vertical"},
        {"rbHorizontal", "Horizontal"},
        {"btnAFont", "Axes Text Colour"},
        {"btnGrid", "Grid Colour"},
        {"btnFont", "Title Font"},
        {"GroupBox5", "Image Capture "},
        {"cbCapture", "Capture graph images for each complete page"},
        {"Label14", "Capture folder:"},
        {"btnBrowse", "Browse..."},
        {"GroupBox6", "Web Image Capture"},
        {"cbWeb", "Activate server"},
        {"btnAdvanced", "Advanced..."},
        {"Label24", "Web image filename"},
        {"GroupBox7", "Image Size  "},
        {"rbPercent", "Percent "},
        {"Label17", "Width"},
        {"Label20", "Height"},
        {"rbPixels", "Pixels"},
        {"Label16", "x"},
        {"Label21", "Applies to..."},
        {"cbCaptured", "Captured images"},
        {"cbHTTP", "Web image"},
        {"cbClip", "Clipboard"},
        {"cbPrint", "Printer"},
        {"GroupBox8", "Image Type "},
        {"rbBMP", "Bitmap (BMP)"},
        {"rbJPG", "JPEG "},
        {"rbGIF", "GIF"},
        {"rbPNG", "PNG"},
        {"cbGray", "Convert to grayscale"},
        {"GroupBox9", "Stop Options  "},
        {"Label8", "After..."},
        {"Label9", "pages,"},
        {"rbStop", "Stop"},
        {"rbRestart", "Restart"},
        {"Label10", "A value of 0 means keep plotting indefinitely"},
        {"GroupBox10", "Log Options  "},
        {"rbNoLog", "Don't write a log file (recommended)"},
        {"rbAllLog", "Write file all the time (very large file)"},
        {"rbOnlyLog", "Write file when"},
        {"rbPing", "ping /"},
        {"rbAvgPing", "average ping"},
        {"Label25", "exceeds"},
        {"Label26", "ms"},
        {"Label27", "Filename"},
        {"btnLogBrowse", "Browse..."},
        {"GroupBox11", "System "},
        {"cbIgnore", "Ignore first ping (includes DNS lookup time)"},
        {"btnClearHistory", "Clear Address History"},
        {"cbMinimize", "Minimize to SysTray"},
        {"cbShowAll", "Show full response window"},
        {"Label15", "Version 1.2"},
        {"mnuMax", "Maximum:"},
        {"mnuAvg", "Average:"},
        {"mnuMin", "Minimum:"},
        {"Copy2", "Copy"},
        {"Clear1", "Clear"},
        {"Save1", "Save"},
        {"SaveAs1", "Save As..."},
        {"Print1", "Print..."},
        {"PrinterSetup1", "Printer Setup..."},
        {"Cut1", "Cut"},
        {"Copy1", "Copy"},
        {"Paste1", "Paste"},
        {"DeletefromHistory1", "Delete from History"},
    };
    for (const auto& row : rows) QTest::newRow(row[0]) << row[0] << row[1];
  }

  void controlsCarryTheirCaptions() {
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QObject* o = m_form->findChild<QObject*>(name);
    QVERIFY2(o != nullptr, qPrintable(name));
    QString shown;
    if (auto* tool = qobject_cast<QToolButton*>(o)) {
      shown = tool->toolTip();
      QVERIFY(!tool->icon().isNull());
      QCOMPARE(tool->size(), QSize(37, 37));
    } else if (auto* button = qobject_cast<QAbstractButton*>(o)) {
      shown = button->text();
    } else if (auto* group = qobject_cast<QGroupBox*>(o)) {
      shown = group->title();
    } else if (auto* label = qobject_cast<QLabel*>(o)) {
      shown = label->pixmap().isNull() ? label->text() : label->toolTip();
    } else if (auto* action = qobject_cast<QAction*>(o)) {
      shown = action->text();
    }
    QCOMPARE(shown, caption);
  }

  void otherControlsExist() {
    const char* names[] = {"Panel1", "Panel7", "Panel5", "Panel6", "Panel9", "Panel10",
                           "cbURL", "PageControl1", "TabSheet1", "TabSheet2", "Chart1",
                           "PageControl2", "TabSheet4", "TabSheet3", "TabSheet6", "TabSheet5",
                           "edTitle", "edLabel", "Panel8", "Shape1", "Shape2", "Shape3",
                           "Shape4", "Shape5", "edFolder", "edTemp", "Label3", "Panel3",
                           "Label22", "Panel4", "Panel11", "edLog", "Panel2", "Label19",
                           "Memo1", "StatusBar1", "PopupMenu2", "PopupMenu3", "Timer1",
                           "Label12", "spX", "spPoints", "spMax", "spMin", "spPercent",
                           "spGrWidth", "spGrHeight", "spPages", "spLog"};
    for (const char* name : names) {
      QVERIFY2(m_form->findChild<QObject*>(QString::fromLatin1(name)) != nullptr, name);
    }
    QCOMPARE(Find<QLineEdit>("edTitle")->width(), 333);
    QCOMPARE(Find<QLineEdit>("edFolder")->width(), 369);
    QCOMPARE(Find<QLineEdit>("edTemp")->width(), 169);
    QCOMPARE(Find<QLineEdit>("edLog")->width(), 293);
    QCOMPARE(Find<QLineEdit>("edLabel")->maxLength(), 30);
    QCOMPARE(Find<QComboBox>("cbURL")->width(), 285);
    QVERIFY(Find<QComboBox>("cbURL")->isEditable());
    QCOMPARE(Find<QWidget>("Shape1")->size(), QSize(45, 17));
    QCOMPARE(Find<QWidget>("btnDownColour")->width(), 125);
    QCOMPARE(Find<QWidget>("Panel2")->size(), QSize(373, 21));
    QCOMPARE(Find<QWidget>("Memo1")->size(), QSize(373, 153));
  }

  void spinBoxRanges_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("min");
    QTest::addColumn<int>("max");
    QTest::newRow("spX") << "spX" << 1 << 2147383647;
    QTest::newRow("spPoints") << "spPoints" << 10 << 10000;
    QTest::newRow("spMax") << "spMax" << 10 << 10000;
    QTest::newRow("spMin") << "spMin" << -1 << 260;
    QTest::newRow("spPercent") << "spPercent" << 20 << 200;
    QTest::newRow("spGrWidth") << "spGrWidth" << 150 << 2000;
    QTest::newRow("spGrHeight") << "spGrHeight" << 150 << 2000;
    QTest::newRow("spPages") << "spPages" << 0 << 255;
    QTest::newRow("spLog") << "spLog" << INT_MIN << INT_MAX;
  }

  void spinBoxRanges() {
    QFETCH(QString, name);
    QFETCH(int, min);
    QFETCH(int, max);
    auto* spin = m_form->findChild<QSpinBox*>(name);
    QVERIFY(spin != nullptr);
    QCOMPARE(spin->minimum(), min);
    QCOMPARE(spin->maximum(), max);
  }

  void menusHoldTheirItemsInOrder() {
    auto items = [](QMenu* menu) {
      QStringList names;
      for (QAction* a : menu->actions()) names << (a->isSeparator() ? "-" : a->objectName());
      return names.join(' ');
    };
    // The run figures come below the three statistics items, the
    // distribution switch and the export after the printer items, the
    // other extras last.
    QCOMPARE(items(Find<QMenu>("PopupMenu3")),
             QString("mnuMax mnuAvg mnuMin mnuLoss mnuMinAvgMax mnuDeviation mnuPercentiles "
                     "mnuJitter mnuLossRun mnuLastLoss - Copy2 - Clear1 - Save1 SaveAs1 - Print1 "
                     "PrinterSetup1 - mnuDistribution ExportData1 - mnuPreciseScale "
                     "mnuDesktopColours mnuAlerts"));
    QCOMPARE(items(Find<QMenu>("PopupMenu2")), QString("Cut1 Copy1 Paste1 - DeletefromHistory1"));
  }

  void pagesInOrder() {
    auto* pages = Find<QTabWidget>("PageControl1");
    QCOMPARE(pages->count(), 2);
    QCOMPARE(pages->tabText(0), QString("Graph"));
    QCOMPARE(pages->tabText(1), QString("Setup"));
    QCOMPARE(pages->currentWidget()->objectName(), QString("TabSheet1"));
    auto* setup = Find<QTabWidget>("PageControl2");
    const char* expected[][2] = {{"Graph Axes ", "TabSheet4"},
                                 {"Graph Style", "TabSheet3"},
                                 {"Image Capture", "TabSheet6"},
                                 {"Options", "TabSheet5"}};
    QCOMPARE(setup->count(), 4);
    for (int i = 0; i < 4; ++i) {
      QCOMPARE(setup->tabText(i), QString(expected[i][0]));
      QCOMPARE(setup->widget(i)->objectName(), QString(expected[i][1]));
    }
    QCOMPARE(setup->currentIndex(), 0);
  }

  void windowLayout() {
    QCOMPARE(m_form->windowTitle(), QString("Quorvel"));
    QCOMPARE(m_form->size(), QSize(799, 480));
    QCOMPARE(m_form->minimumSize(), QSize(799, 480));
    QCOMPARE(m_form->font().pixelSize(), 11);
    QCOMPARE(m_form->GraphSize(), QSize(791, 385));
    QCOMPARE(Find<QWidget>("Panel1")->height(), 45);
    QCOMPARE(Find<QWidget>("StatusBar1")->height(), 21);
    const char* buttons[] = {"btnStart", "btnStop", "btnClear", "btnSave",
                             "btnCopy",  "btnPrint", "btnHelp"};
    const int xs[] = {376, 413, 456, 516, 556, 596, 650};
    for (int i = 0; i < 7; ++i) QCOMPARE(Find<QWidget>(buttons[i])->x(), xs[i]);
    const char* separators[] = {"Panel7", "Panel5", "Panel6", "Panel9", "Panel10"};
    const int sx[] = {4, 363, 504, 640, 696};
    for (int i = 0; i < 5; ++i) {
      QCOMPARE(Find<QWidget>(separators[i])->geometry(), QRect(sx[i], 1, 2, 42));
    }
    QCOMPARE(Find<QWidget>("cbURL")->x(), 64);
    QCOMPARE(Find<QWidget>("Label13")->x(), 724);
    const int widths[] = {150, 320, 100};
    for (int i = 0; i < 3; ++i) {
      QCOMPARE(Find<QWidget>(qPrintable(QString("StatusPanel%1").arg(i)))->width(), widths[i]);
    }
    const struct {
      const char* name;
      QRect rect;
    } groups[] = {{"GroupBox1", {12, 12, 373, 333}},  {"GroupBox2", {400, 12, 373, 333}},
                  {"GroupBox3", {8, 8, 393, 337}},    {"GroupBox4", {412, 8, 361, 337}},
                  {"GroupBox5", {8, 11, 401, 162}},   {"GroupBox6", {424, 11, 349, 162}},
                  {"GroupBox7", {8, 180, 401, 165}},  {"GroupBox8", {424, 180, 349, 165}},
                  {"GroupBox9", {8, 12, 329, 113}},   {"GroupBox10", {8, 136, 329, 209}},
                  {"GroupBox11", {352, 12, 413, 333}}};
    for (const auto& g : groups) {
      QCOMPARE(Find<QWidget>(g.name)->geometry(), g.rect);
      QCOMPARE(Find<QGroupBox>(g.name)->palette().color(QPalette::WindowText), QColor(Qt::blue));
    }
    QCOMPARE(Find<QWidget>("cbIgnore")->palette().color(QPalette::WindowText), QColor(Qt::black));
  }

  void windowCannotShrinkAndAnchorsFollow() {
    ShowActive();
    ClickTab("PageControl1", 1);
    Find<QTabWidget>("PageControl2")->setCurrentIndex(3);
    QTest::qWait(10);
    auto* system = Find<QWidget>("GroupBox11");
    auto* memo = Find<QWidget>("Memo1");
    const QPoint systemAt = system->pos();
    const QPoint memoAt = memo->pos();
    m_form->resize(500, 300);
    QTRY_COMPARE(m_form->size(), QSize(799, 480));
    m_form->resize(999, 580);
    QTRY_COMPARE(system->pos(), systemAt + QPoint(200, 100));
    QCOMPARE(system->size(), QSize(413, 333));
    QCOMPARE(memo->pos(), memoAt);  // the System box keeps its size
    QCOMPARE(Find<QWidget>("GroupBox9")->pos(), QPoint(8, 12));
    // The capture mark keeps to the graph's lower left corner.
    ClickTab("PageControl1", 0);
    auto* mark = Find<QWidget>("imgNoise");
    QTRY_COMPARE(mark->y() + mark->height(), Find<QWidget>("Chart1")->height() - 6);
    QCOMPARE(mark->x(), 6);
  }

  void firstStartValues() {
    QCOMPARE(Find<SpinEdit>("spX")->value(), 10);
    QCOMPARE(Find<SpinEdit>("spPoints")->value(), 400);
    QCOMPARE(Find<SpinEdit>("spMax")->value(), 60);
    QCOMPARE(Find<SpinEdit>("spMin")->value(), 0);
    QCOMPARE(Find<SpinEdit>("spPages")->value(), 50);
    QCOMPARE(Find<SpinEdit>("spPercent")->value(), 100);
    QCOMPARE(Find<SpinEdit>("spGrWidth")->value(), 791);
    QCOMPARE(Find<SpinEdit>("spGrHeight")->value(), 385);
    QCOMPARE(Find<SpinEdit>("spLog")->value(), 50);
    for (const char* on : {"rbStop", "rbLine", "rbRamp", "rbPercent", "rbJPG", "rbHorizontal",
                           "rbNoLog", "rbAvgPing"}) {
      QVERIFY2(Find<QRadioButton>(on)->isChecked(), on);
    }
    for (const char* off : {"rbRestart", "rbArea", "rbSteps", "rbPixels", "rbGIF", "rbBMP",
                            "rbPNG", "rbVertical", "rbAllLog", "rbOnlyLog", "rbPing"}) {
      QVERIFY2(!Find<QRadioButton>(off)->isChecked(), off);
    }
    for (const char* on : {"cbIgnore", "cbPlotAvg", "cbHTTP", "cbCaptured", "cbClip", "cbPrint",
                           "cbAppend", "cbAppInterval"}) {
      QVERIFY2(Find<QCheckBox>(on)->isChecked(), on);
    }
    for (const char* off : {"cbShowAll", "cbCapture", "cbMinimize", "cbWeb", "cbGray"}) {
      QVERIFY2(!Find<QCheckBox>(off)->isChecked(), off);
    }
    QCOMPARE(Find<QLineEdit>("edTitle")->text(), QString("Quorvel of "));
    QCOMPARE(Find<QLineEdit>("edLabel")->text(), QString("Ping - milliseconds"));
    QCOMPARE(Find<QLineEdit>("edTemp")->text(), QString("quorvel.jpg"));
    QVERIFY(Find<QToolButton>("btnStop")->isChecked());
    QVERIFY(Find<QWidget>("Label13")->isHidden());
    QVERIFY(Find<QWidget>("Memo1")->isHidden());
    QVERIFY(Find<QWidget>("imgNoise")->isHidden());
    QCOMPARE(Find<QLabel>("Label12")->text(), QString("(1 hr : 7 min per page)"));
    QCOMPARE(m_form->session().PingTimeout(), 3000);

    const ChartModel& m = Model();
    QCOMPARE(m.look.title, std::string("Quorvel of  - 10 sec. interval"));
    QCOMPARE(m.look.leftTitle, std::string("Ping - milliseconds"));
    QVERIFY(m.left == AxisRange(0, 60));
    QVERIFY(m.bottom == AxisRange(0, 400));
    QVERIFY(m.lineShown && !m.areaShown && !m.stairs && !m.look.verticalLabels);
    QVERIFY(m.look.titleFont == (FontSpec{"Arial", 10, 0, kBlack}));
    QCOMPARE(m.look.back, kWhite);
    QCOMPARE(m.look.border, kBtnFace);
    QCOMPARE(m.look.grid, kGray);
    QCOMPARE(m.look.axesText, kBlack);
    const GraphAppearance& a = m_form->settings().graph;
    QCOMPARE(a.plot, kBlue);
    QCOMPARE(a.average, kFuchsia);
    QCOMPARE(Find<Swatch>("Shape1")->Colour(), QColor(0, 0, 255));
    QCOMPARE(Find<Swatch>("Shape2")->Colour(), QColor(255, 0, 255));
    QCOMPARE(Find<Swatch>("Shape3")->Colour(), QColor(255, 255, 255));
    QCOMPARE(Find<Swatch>("Shape4")->Colour(), QColor(0, 0, 0));
  }

  void titleComposition_data() {
    QTest::addColumn<QString>("title");
    QTest::addColumn<bool>("appendAddress");
    QTest::addColumn<bool>("appendInterval");
    QTest::addColumn<QString>("expected");
    QTest::newRow("both") << "Quorvel of " << true << true
                          << "Quorvel of 192.0.2.1 - 10 sec. interval";
    QTest::newRow("address") << "Quorvel of " << true << false << "Quorvel of 192.0.2.1";
    QTest::newRow("interval") << "Quorvel of " << false << true << "Quorvel of  - 10 sec. interval";
    QTest::newRow("neither") << "Quorvel of " << false << false << "Quorvel of ";
    QTest::newRow("bare address") << "" << true << false << "192.0.2.1";
  }

  void titleComposition() {
    QFETCH(QString, title);
    QFETCH(bool, appendAddress);
    QFETCH(bool, appendInterval);
    QFETCH(QString, expected);
    Find<QComboBox>("cbURL")->setEditText("192.0.2.1");
    Find<QCheckBox>("cbAppend")->setChecked(appendAddress);
    Find<QCheckBox>("cbAppInterval")->setChecked(appendInterval);
    Find<QLineEdit>("edTitle")->setText(title);
    QCOMPARE(QString::fromStdString(Model().look.title), expected);
  }

  void titleFollowsEveryInput() {
    auto* url = Find<QComboBox>("cbURL");
    QTest::keyClicks(url->lineEdit(), "localhost");
    QCOMPARE(Model().look.title, std::string("Quorvel of localhost - 10 sec. interval"));
    Find<SpinEdit>("spX")->setValue(3);
    QCOMPARE(Model().look.title, std::string("Quorvel of localhost - 3 sec. interval"));
    Find<QCheckBox>("cbAppend")->setChecked(false);
    QCOMPARE(Model().look.title, std::string("Quorvel of  - 3 sec. interval"));
  }

  void perPageCaption_data() {
    QTest::addColumn<int>("interval");
    QTest::addColumn<int>("points");
    QTest::addColumn<QString>("caption");
    QTest::newRow("10 x 400") << 10 << 400 << "(1 hr : 7 min per page)";
    QTest::newRow("2 x 255") << 2 << 255 << "(0 hr : 8 min per page)";
    QTest::newRow("3 x 50") << 3 << 50 << "(0 hr : 2 min per page)";
    QTest::newRow("1 x 150") << 1 << 150 << "(0 hr : 3 min per page)";
    QTest::newRow("1 x 400") << 1 << 400 << "(0 hr : 7 min per page)";
  }

  void perPageCaption() {
    QFETCH(int, interval);
    QFETCH(int, points);
    QFETCH(QString, caption);
    Find<SpinEdit>("spX")->setValue(interval);
    Find<SpinEdit>("spPoints")->setValue(points);
    QCOMPARE(Find<QLabel>("Label12")->text(), caption);
    QVERIFY(Model().bottom == AxisRange(0, points));
  }

  void typedIntervalRunsItsHandler() {
    auto* spX = Find<SpinEdit>("spX");
    spX->selectAll();
    QTest::keyClicks(spX, "1");
    QCOMPARE(m_form->session().PingTimeout(), 800);
    QCOMPARE(Find<QLabel>("Label12")->text(), QString("(0 hr : 7 min per page)"));
    // An empty box reads as its minimum.
    QTest::keyClick(spX, Qt::Key_Backspace);
    QCOMPARE(spX->Value(), 1);
    QCOMPARE(Model().look.title, std::string("Quorvel of  - 1 sec. interval"));
  }

  void boxWithoutRangeReadsZeroWhenEmpty() {
    auto* spLog = Find<SpinEdit>("spLog");
    spLog->selectAll();
    QTest::keyClick(spLog, Qt::Key_Backspace);
    QCOMPARE(spLog->Value(), 0);
    spLog->setValue(-5);
    QCOMPARE(spLog->Value(), -5);
  }

  void pointsBelowTheWindowMinimumAreIgnored() {
    // Panned on to 300 ... 700, then 250 points: the window does not change.
    auto* points = Find<SpinEdit>("spPoints");
    points->setValue(700);
    QVERIFY(Model().bottom == AxisRange(0, 700));
    points->setValue(250);
    QVERIFY(Model().bottom == AxisRange(0, 250));
  }

  void styleHandlersRunOnChangesFromCode() {
    Find<QRadioButton>("rbArea")->setChecked(true);
    QVERIFY(!Model().lineShown && Model().areaShown);
    Find<QRadioButton>("rbLine")->setChecked(true);
    QVERIFY(Model().lineShown && !Model().areaShown);
    Find<QRadioButton>("rbSteps")->setChecked(true);
    QVERIFY(Model().stairs);
    // A radio button reacts only when it becomes checked: unchecking from
    // code leaves the group empty and the chart as it was.
    SetRadioChecked(Find<QRadioButton>("rbSteps"), false);
    QVERIFY(!Find<QRadioButton>("rbRamp")->isChecked());
    QVERIFY(Model().stairs);
    Find<QRadioButton>("rbRamp")->setChecked(true);
    QVERIFY(!Model().stairs);
    Find<QRadioButton>("rbVertical")->setChecked(true);
    QVERIFY(Model().look.verticalLabels);
    Find<QRadioButton>("rbHorizontal")->setChecked(true);
    QVERIFY(!Model().look.verticalLabels);
    Find<QLineEdit>("edLabel")->setText("Latency");
    QCOMPARE(Model().look.leftTitle, std::string("Latency"));
  }

  void showAllShowsTheResponseBox() {
    auto* memo = Find<QPlainTextEdit>("Memo1");
    memo->setPlainText("Reply from 127.0.0.1");
    Find<QCheckBox>("cbShowAll")->setChecked(true);
    QVERIFY(!memo->isHidden());
    Find<QCheckBox>("cbShowAll")->setChecked(false);
    QVERIFY(memo->isHidden());
    Find<QCheckBox>("cbShowAll")->setChecked(true);
    QCOMPARE(memo->toPlainText(), QString("Reply from 127.0.0.1"));
  }

  void refusedMaximumReturnsToTheGraphAxesPage() {
    ShowActive();
    ClickTab("PageControl1", 1);
    EnterLimit("spMax", 200);
    EnterLimit("spMin", 100);
    QVERIFY(Model().left == AxisRange(100, 200));
    QVERIFY(m_dialogs.messages.isEmpty());

    // Maximum 50 under a minimum of 100, left by clicking another sub-page.
    auto* spMax = Find<SpinEdit>("spMax");
    spMax->setFocus();
    QTRY_VERIFY(spMax->hasFocus());
    spMax->setValue(50);
    ClickTab("PageControl2", 1);
    QCOMPARE(m_dialogs.messages, QStringList{kMaxMessage});
    QCOMPARE(spMax->value(), 200);  // the last accepted maximum
    QVERIFY(Model().left == AxisRange(100, 200));
    QCOMPARE(Find<QTabWidget>("PageControl2")->currentIndex(), 0);
    // The next click goes through.
    ClickTab("PageControl2", 1);
    QCOMPARE(Find<QTabWidget>("PageControl2")->currentIndex(), 1);
    QCOMPARE(m_dialogs.messages.size(), 1);
  }

  void refusedMinimum() {
    ShowActive();
    ClickTab("PageControl1", 1);
    EnterLimit("spMin", 100);
    QCOMPARE(m_dialogs.messages, QStringList{kMinMessage});
    QCOMPARE(Find<SpinEdit>("spMin")->value(), 0);
    QVERIFY(Model().left == AxisRange(0, 60));
  }

  void acceptedLimitsGoInAsOneRange() {
    ShowActive();
    ClickTab("PageControl1", 1);
    EnterLimit("spMax", 200);
    EnterLimit("spMin", 100);
    Find<SpinEdit>("spMin")->setValue(10);
    EnterLimit("spMax", 50);
    QVERIFY(Model().left == AxisRange(10, 50));
    EnterLimit("spMax", 10);  // equal bounds pass
    QVERIFY(Model().left == AxisRange(10, 10));
    QVERIFY(m_dialogs.messages.isEmpty());
  }

  void emptyMaximumCountsAsItsMinimum() {
    ShowActive();
    ClickTab("PageControl1", 1);
    auto* spMax = Find<SpinEdit>("spMax");
    spMax->setFocus();
    QTRY_VERIFY(spMax->hasFocus());
    spMax->selectAll();
    QTest::keyClick(spMax, Qt::Key_Backspace);
    Find<QTabWidget>("PageControl2")->tabBar()->setFocus(Qt::TabFocusReason);
    QCOMPARE(spMax->value(), 10);
    QVERIFY(Model().left == AxisRange(0, 10));
  }

  void showingTheGraphPageChecksABoxBeingEdited() {
    ShowActive();
    ClickTab("PageControl1", 1);
    auto* spMin = Find<SpinEdit>("spMin");
    spMin->setFocus();
    QTRY_VERIFY(spMin->hasFocus());
    spMin->setValue(30);
    ClickTab("PageControl1", 0);
    QVERIFY(Find<QWidget>("Panel1")->hasFocus());
    QVERIFY(Model().left == AxisRange(30, 60));
  }

  void fileNameFilterRefusesTypedCharacters() {
    const char* boxes[] = {"edLabel", "edTemp", "edLog"};
    for (const char* name : boxes) {
      auto* box = Find<QLineEdit>(name);
      box->clear();
      const int before = m_dialogs.beeps;
      QTest::keyClicks(box, "a:b");
      QCOMPARE(box->text(), QString("ab"));
      QCOMPARE(m_dialogs.beeps, before + 1);
      box->clear();
      QTest::keyClicks(box, "x\"*/:<>?\\|y.-_ ()");
      QCOMPARE(box->text(), QString("xy.-_ ()"));
      QCOMPARE(m_dialogs.beeps, before + 10);
    }
    // Pasted text is not filtered.
    auto* label = Find<QLineEdit>("edLabel");
    label->clear();
    QApplication::clipboard()->setText("c:d");
    QTest::keyClick(label, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(label->text(), QString("c:d"));
    QCOMPARE(Model().look.leftTitle, label->text().toStdString());
    // Other boxes take the characters.
    auto* title = Find<QLineEdit>("edTitle");
    title->clear();
    QTest::keyClicks(title, "a:b");
    QCOMPARE(title->text(), QString("a:b"));
  }

  void colourChoices() {
    const QColor orange(255, 128, 0);
    const Colour orangeValue = RgbColour(255, 128, 0);
    m_dialogs.colourAnswer = orange;

    QTest::mouseClick(Find<QWidget>("btnDownColour"), Qt::LeftButton);
    QCOMPARE(m_dialogs.colourAsked, QColor(0, 0, 255));
    QCOMPARE(m_form->settings().graph.plot, orangeValue);
    QCOMPARE(Find<Swatch>("Shape1")->Colour(), orange);

    QTest::mouseClick(Find<QWidget>("btnAvgColour"), Qt::LeftButton);
    QCOMPARE(m_dialogs.colourAsked, QColor(255, 0, 255));
    QCOMPARE(m_form->settings().graph.average, orangeValue);
    QCOMPARE(Find<Swatch>("Shape2")->Colour(), orange);

    QTest::mouseClick(Find<QWidget>("btnBackColour"), Qt::LeftButton);
    QCOMPARE(Model().look.back, orangeValue);
    QCOMPARE(Find<Swatch>("Shape3")->Colour(), orange);

    QTest::mouseClick(Find<QWidget>("btnBorderColour"), Qt::LeftButton);
    QCOMPARE(Model().look.border, orangeValue);
    QCOMPARE(m_form->settings().graph.border, orangeValue);
    QCOMPARE(Find<Swatch>("Shape5")->Colour(), orange);

    QTest::mouseClick(Find<QWidget>("btnGrid"), Qt::LeftButton);
    QCOMPARE(m_dialogs.colourAsked, QColor(128, 128, 128));
    QCOMPARE(Model().look.grid, orangeValue);
    QCOMPARE(m_form->settings().graph.grid, orangeValue);

    QTest::mouseClick(Find<QWidget>("btnAFont"), Qt::LeftButton);
    QCOMPARE(m_dialogs.colourAsked, QColor(0, 0, 0));
    QCOMPARE(Model().look.axesText, orangeValue);
    QCOMPARE(Find<Swatch>("Shape4")->Colour(), orange);

    // Cancel changes nothing.
    m_dialogs.colourAnswer.reset();
    QTest::mouseClick(Find<QWidget>("btnDownColour"), Qt::LeftButton);
    QCOMPARE(m_form->settings().graph.plot, orangeValue);
  }

  void titleFontChoiceKeepsTheColour() {
    QFont chosen(QStringLiteral("Liberation Serif"));
    chosen.setPointSize(14);
    chosen.setBold(true);
    chosen.setStrikeOut(true);
    m_dialogs.fontAnswer = chosen;
    QTest::mouseClick(Find<QWidget>("btnFont"), Qt::LeftButton);
    QCOMPARE(m_dialogs.fontAsked.family(), QString("Arial"));
    QCOMPARE(m_dialogs.fontAsked.pointSize(), 10);
    const FontSpec& f = Model().look.titleFont;
    QCOMPARE(f.name, std::string("Liberation Serif"));
    QCOMPARE(f.pointSize, 14);
    QCOMPARE(f.style, kFontBold | kFontStrikeOut);
    QCOMPARE(f.colour, kBlack);

    m_dialogs.fontAnswer.reset();
    QTest::mouseClick(Find<QWidget>("btnFont"), Qt::LeftButton);
    QCOMPARE(Model().look.titleFont.pointSize, 14);
  }

  void resizeCaptions() {
    ShowActive();
    QCOMPARE(Find<QLabel>("Label22")->text(),
             QString("Items not checked will use screen graph size (791 x 385)"));
    QCOMPARE(Find<QLabel>("Label3")->text(), QString("(791 x 385)"));
    Find<SpinEdit>("spPercent")->setValue(20);
    ClickTab("PageControl1", 1);  // the Graph page hidden: the sizes still follow
    m_form->resize(899, 530);
    QTRY_COMPARE(m_form->GraphSize(), QSize(891, 435));
    QCOMPARE(Find<QLabel>("Label22")->text(),
             QString("Items not checked will use screen graph size (891 x 435)"));
    QCOMPARE(Find<QLabel>("Label3")->text(),
             QString("(178 x 87)"));
  }

  void panningFollowsThePointer() {
    ShowActive();
    auto* chart = Find<QWidget>("Chart1");
    const QPoint middle = chart->rect().center();
    QTest::mousePress(chart, Qt::LeftButton, {}, middle);
    QCOMPARE(chart->cursor().shape(), Qt::ClosedHandCursor);
    // The first step pans both axes: dragged left and down, the window moves
    // on in time and up in value.
    QTest::mouseMove(chart, middle + QPoint(-40, 30));
    const AxisRange window = Model().bottom;
    QVERIFY(window.Min() > 0);
    QVERIFY(std::abs(window.Max() - window.Min() - 400) < 1e-9);
    // With no ticks counted, the steps after it pan the vertical axis only.
    QTest::mouseMove(chart, middle + QPoint(-80, 60));
    QVERIFY(Model().left.Min() > 0);
    QVERIFY(std::abs((Model().left.Max() - Model().left.Min()) - 60) < 1e-9);
    QVERIFY(Model().bottom == window);
    // Dragged up past 0: the vertical window snaps back to 0 ... Max.
    QTest::mouseMove(chart, middle + QPoint(-80, -100));
    QVERIFY(Model().left == AxisRange(0, 60));
    QTest::mouseRelease(chart, Qt::LeftButton, {}, middle + QPoint(-80, -100));
    QCOMPARE(chart->cursor().shape(), Qt::ArrowCursor);
  }
};

QTEST_MAIN(Form1Test)
#include "form1_test.moc"
