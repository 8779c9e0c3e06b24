// The run statistics in the main window, with the fake ping first on PATH:
// what each plotted tick adds, what Clear and the page reset take away, the
// status line at the default size, the distribution view, the data export
// and the statistics document of the web server.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QRadioButton>
#include <QSpinBox>
#include <QToolButton>
#include <QtTest>

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/form1.h"
#include "app/windowweb.h"
#include "app/form2.h"
#include "common/loopback.h"
#include "graph/chartrenderer.h"
#include "graph/sampleexport.h"
#include "recordingdialogs.h"
#include "windowhome.h"

using namespace quorvel;

class Form1StatsTest : public QObject {
  Q_OBJECT

 private:
  SystemLocalClock m_clock;
  RecordingDialogs m_dialogs;
  std::unique_ptr<WindowHome> m_home;  // outlives the window
  std::unique_ptr<TForm1> m_form;

  template <typename T>
  T* Find(const char* name) { return FindControl<T>(m_form.get(), name); }
  QString Item(const char* name) { return Find<QAction>(name)->text(); }

  // Each run of the fake ping takes the next line: "reply <time>" or "lost".
  void PingScript(const QStringList& lines) { QVERIFY(UseFakePingScript(m_home->Path(), lines)); }

  // Start's own tick, then `ticks - 1` timer ticks.
  void Run(int ticks) {
    Find<QToolButton>("btnStart")->click();
    for (int i = 1; i < ticks; ++i) m_form->Timer1Timer();
  }

  // The web server on a free loopback port; 0 when none could be had.
  int StartServer() {
    HttpServerOptions loopback;
    loopback.bindAddress = "127.0.0.1";
    m_form->webServer().SetOptions(loopback);
    m_form->CreateAccessDialog();
    for (int attempt = 0; attempt < 5; ++attempt) {
      const int port = FreeLoopbackPort();
      m_form->webAccess().Port = port;
      Find<QCheckBox>("cbWeb")->setChecked(true);
      if (m_form->webServer().Listening()) return port;
    }
    return 0;
  }

  std::string Fetch(int port, const std::string& target, const std::string& extra = "") {
    const std::string request = "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extra + "\r\n";
    auto pending = std::async(std::launch::async, [=] { return RoundTrip(port, request); });
    const auto ready = [&] {
      return pending.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    };
    if (!QTest::qWaitFor(ready, 30000)) return {};
    return pending.get();
  }

 private slots:
  void initTestCase() {
    qputenv("PATH", QByteArray(QUORVEL_FAKE_PING_DIR) + ":" + qgetenv("PATH"));
  }

  void init() {
    m_dialogs = RecordingDialogs();
    m_home = std::make_unique<WindowHome>();
    m_form = std::make_unique<TForm1>(m_clock, m_home->Environment(&m_dialogs));
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    Find<QComboBox>("cbURL")->setEditText(QStringLiteral("127.0.0.1"));
    Find<QSpinBox>("spX")->setValue(1);
  }
  void cleanup() {
    m_form.reset();
    qunsetenv("FAKE_PING_SCRIPT");
  }

  // Sub-millisecond replies count with their precise times, the ignored
  // first ping not at all; lost pings count as lost.
  void everyPlottedTickIsCounted() {
    PingScript({"reply 9.999", "reply 0.047", "lost", "reply 0.080", "reply 0.031", "lost",
                "lost", "reply 0.052"});
    Run(8);
    const StatisticsSummary s = m_form->session().Chart().figures.Summary();
    QCOMPARE(s.sent, std::uint64_t{7});
    QCOMPARE(Item("mnuLoss"), QString("Loss: 3 of 7 (42.9 %)"));
    QCOMPARE(Item("mnuMinAvgMax"), QString("Min/Avg/Max of replies: 0.031 / 0.053 / 0.080 ms"));
    QCOMPARE(Item("mnuPercentiles"), QString("Median/p95/p99 of replies: 0.047 / 0.080 / 0.080 ms"));
    QCOMPARE(Item("mnuLossRun"), QString("Longest loss run: 2"));
    QVERIFY(Item("mnuLastLoss").startsWith("Last loss: 20"));
    // The plotted points keep their whole milliseconds.
    QCOMPARE(m_form->session().Chart().data.Ping(0).value, 0);
    // The specified items are untouched by the new ones.
    QCOMPARE(Item("mnuMax"), QString("Max. value: 800.0"));

    const QString tip = Find<QLabel>("lblStatistics")->toolTip();
    QVERIFY(tip.contains("Loss: 3 of 7 (42.9 %)"));
    QVERIFY(tip.contains("Jitter: "));
    QCOMPARE(tip.count('\n'), 6);
  }

  void clearAndThePageResetStartTheFiguresAgain() {
    Find<QCheckBox>("cbIgnore")->setChecked(false);
    PingScript({"reply 0.047", "lost"});
    Run(2);
    QCOMPARE(Item("mnuLoss"), QString("Loss: 1 of 2 (50.0 %)"));
    Find<QToolButton>("btnClear")->click();
    QCOMPARE(Item("mnuLoss"), QString("Loss: 0 of 0 (0.0 %)"));
    QVERIFY(Find<QLabel>("lblStatistics")->text().isEmpty());

    // Restart at the page limit: 1 page of 10 points, the 11th tick resets.
    Find<QSpinBox>("spPoints")->setValue(10);
    Find<QSpinBox>("spPages")->setValue(1);
    Find<QRadioButton>("rbRestart")->setChecked(true);
    PingScript({"reply 1.5"});
    Run(12);  // Start's own tick is not counted toward the page limit
    QCOMPARE(m_form->session().Chart().data.PingCount(), std::size_t{0});
    QCOMPARE(m_form->session().Chart().figures.Run().Sent(), std::uint64_t{0});
    m_form->Timer1Timer();
    QCOMPARE(m_form->session().Chart().figures.Run().Sent(), std::uint64_t{1});
  }

  // At the window's first size the line shows loss, min/avg/max, jitter and
  // p95 of a loopback run in full.
  void statusLineIsReadableAtTheDefaultSize() {
    Find<QCheckBox>("cbIgnore")->setChecked(false);
    PingScript({"reply 0.047", "reply 0.061", "reply 0.052", "lost"});
    const QSize graphSize = m_form->GraphSize();
    Run(4);
    QCOMPARE(m_form->size(), QSize(799, 480));
    const QString text = Find<QLabel>("lblStatistics")->text();
    QVERIFY2(text.contains("Loss 25.0 %") && text.contains("0.047/0.053/0.061") &&
                 text.contains("jitter") && text.contains("p95"),
             qPrintable(text));
    QLabel* line = Find<QLabel>("lblStatistics");
    QVERIFY(line->isVisible());
    QTRY_VERIFY2(line->fontMetrics().horizontalAdvance(text) <= line->contentsRect().width(),
                 qPrintable(QString("%1 > %2").arg(line->fontMetrics().horizontalAdvance(text))
                                .arg(line->contentsRect().width())));
    // Beside the tabs, not above the pages: the graph keeps its size.
    QCOMPARE(m_form->GraphSize(), graphSize);
  }

  void distributionViewIsDrawnByTheSameRenderer() {
    Find<QCheckBox>("cbIgnore")->setChecked(false);
    PingScript({"reply 0.047", "reply 0.047", "reply 0.090", "lost"});
    Run(4);
    const QImage graph = ChartRenderer::Render(QSize(400, 300), m_form->session().Chart());
    Find<QAction>("mnuDistribution")->setChecked(true);
    QVERIFY(m_form->session().Chart().distribution);
    const QImage bars = ChartRenderer::Render(QSize(400, 300), m_form->session().Chart());
    QVERIFY(bars != graph);
    // The lost pings stand in red at the right of the plot.
    bool red = false;
    for (int x = 300; x < 400 && !red; ++x) {
      for (int y = 0; y < 300 && !red; ++y) red = bars.pixelColor(x, y) == QColor(255, 0, 0);
    }
    QVERIFY(red);
    Find<QAction>("mnuDistribution")->setChecked(false);
    QCOMPARE(ChartRenderer::Render(QSize(400, 300), m_form->session().Chart()), graph);
  }

  // Precise Scale and the desktop's colours change the drawing only while
  // they are on: off, the graph is the same image as before.
  void extraViewsAreDrawnByTheSameRendererAndGoAway() {
    Find<QCheckBox>("cbIgnore")->setChecked(false);
    PingScript({"reply 0.031", "reply 0.045", "lost", "reply 0.038"});
    Run(4);
    const QImage graph = ChartRenderer::Render(QSize(400, 300), m_form->session().Chart());
    for (const char* item : {"mnuPreciseScale", "mnuDesktopColours"}) {
      Find<QAction>(item)->setChecked(true);
      QVERIFY2(ChartRenderer::Render(QSize(400, 300), m_form->session().Chart()) != graph, item);
      Find<QAction>(item)->setChecked(false);
      QCOMPARE(ChartRenderer::Render(QSize(400, 300), m_form->session().Chart()), graph);
    }
  }

  void exportWritesEveryPointInTheChosenType() {
    Find<QCheckBox>("cbIgnore")->setChecked(false);
    PingScript({"reply 0.047", "lost", "reply 315.522"});
    Run(3);
    const QString csv = m_home->Path() + "/run.csv";
    m_dialogs.saveChoiceAnswer = Dialogs::SaveChoice{csv, 1};
    Find<QAction>("ExportData1")->trigger();
    QFile file(csv);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    QCOMPARE(lines.size(), 5);  // header, three rows, the empty rest after the last CR LF
    QCOMPARE(lines[0], QByteArray("time,unix_ms,reply_ms,lost,plotted_ms,error\r"));
    QVERIFY(lines[1].endsWith(",0.047,0,0,0\r"));
    QVERIFY(lines[2].endsWith(",,1,800,0\r"));
    QVERIFY(lines[3].endsWith(",315.522,0,315,0\r"));
    QCOMPARE(m_dialogs.saves.back().filter,
             QString("CSV File (*.csv)|*.csv|JSON Lines File (*.jsonl)|*.jsonl"));

    // The second type, a name without extension: JSON Lines, ".jsonl" added.
    m_dialogs.saveChoiceAnswer = Dialogs::SaveChoice{m_home->Path() + "/run", 2};
    Find<QAction>("ExportData1")->trigger();
    QFile json(m_home->Path() + "/run.jsonl");
    QVERIFY(json.open(QIODevice::ReadOnly));
    const QList<QByteArray> records = json.readAll().trimmed().split('\n');
    QCOMPARE(records.size(), 3);
    QCOMPARE(QJsonDocument::fromJson(records[2]).object().value("reply_ms").toDouble(), 315.522);
    QVERIFY(QJsonDocument::fromJson(records[1]).object().value("reply_ms").isNull());

    // The extension typed wins over the dialog's type.
    m_dialogs.saveChoiceAnswer = Dialogs::SaveChoice{m_home->Path() + "/typed.json", 1};
    Find<QAction>("ExportData1")->trigger();
    QFile typed(m_home->Path() + "/typed.json");
    QVERIFY(typed.open(QIODevice::ReadOnly));
    QVERIFY(typed.readAll().startsWith("{\"time\":"));

    // A folder that does not exist: the message, and nothing written.
    m_dialogs.messages.clear();
    m_dialogs.saveChoiceAnswer = Dialogs::SaveChoice{m_home->Path() + "/no/such.csv", 1};
    Find<QAction>("ExportData1")->trigger();
    QCOMPARE(m_dialogs.messages.size(), 1);
    QVERIFY(m_dialogs.messages[0].startsWith("Cannot create file"));
  }

  void webServerAnswersTheStatisticsBesideTheImage() {
    const int port = StartServer();
    QVERIFY(port != 0);
    Find<QCheckBox>("cbIgnore")->setChecked(false);
    PingScript({"reply 0.047", "lost", "reply 0.053"});
    Run(3);

    const std::string reply = Fetch(port, "/quorvel.json");
    const std::size_t end = reply.find("\r\n\r\n");
    QVERIFY(end != std::string::npos);
    const std::string head = reply.substr(0, end);
    const std::string body = reply.substr(end + 4);
    QVERIFY(head.find("HTTP/1.1 200 OK\r\n") == 0);
    QVERIFY(head.find("Content-Type: application/json") != std::string::npos);
    QVERIFY(head.find("Connection: close") != std::string::npos);
    QVERIFY(head.find("Content-Length: " + std::to_string(body.size())) != std::string::npos);
    const QJsonObject json = QJsonDocument::fromJson(QByteArray::fromStdString(body)).object();
    QCOMPARE(json.value("address").toString(), QString("127.0.0.1"));
    QCOMPARE(json.value("sent").toInt(), 3);
    QCOMPARE(json.value("lost").toInt(), 1);
    QCOMPARE(json.value("min_ms").toDouble(), 0.047);
    QCOMPARE(json.value("avg_ms").toDouble(), 0.050);

    // It follows the image's name, and other paths keep their 404.
    Find<QLineEdit>("edTemp")->setText("graph.png");
    QVERIFY(Fetch(port, "/graph.json").find("HTTP/1.1 200 OK") == 0);
    QVERIFY(Fetch(port, "/quorvel.json").find("HTTP/1.1 404 Not Found") == 0);

    // Behind the same access rule as the image.
    QTimer::singleShot(0, this, [&] {
      TForm2* dialog = m_form->accessDialog();
      dialog->findChild<QCheckBox*>("cbAuth")->setChecked(true);
      dialog->findChild<QLineEdit*>("edWebUser")->setText("u");
      dialog->findChild<QLineEdit*>("edWebPassword")->setText("p");
      dialog->findChild<QPushButton*>("Button1")->click();
    });
    Find<QPushButton>("btnAdvanced")->click();
    QVERIFY(Fetch(port, "/graph.json").find("HTTP/1.1 401 Unauthorized") == 0);
    QVERIFY(Fetch(port, "/graph.json", "Authorization: Basic dTpw\r\n").find("HTTP/1.1 200 OK") == 0);
  }

  // With every descriptor taken (as under a flood of connections) the ping
  // child cannot start: drawn as an empty reply, counted as an error, told once.
  void aPingThatCannotBeRunIsAnErrorNotALoss() {
    Find<QCheckBox>("cbIgnore")->setChecked(false);
    PingScript({"reply 0.047"});
    Run(1);
    std::ostringstream errors;
    std::streambuf* const savedErrors = std::cerr.rdbuf(errors.rdbuf());
    rlimit saved{};
    QVERIFY(getrlimit(RLIMIT_NOFILE, &saved) == 0);
    rlimit low{256, saved.rlim_max};
    QVERIFY(setrlimit(RLIMIT_NOFILE, &low) == 0);
    std::vector<int> taken;
    for (int fd; (fd = dup(0)) >= 0;) taken.push_back(fd);
    m_form->Timer1Timer();
    const QString told = Find<QLabel>("StatusPanel1")->text();
    m_form->Timer1Timer();
    for (const int fd : taken) close(fd);
    setrlimit(RLIMIT_NOFILE, &saved);
    std::cerr.rdbuf(savedErrors);
    m_form->Timer1Timer();

    QCOMPARE(told, QStringLiteral("Ping could not be run: Too many open files"));
    QCOMPARE(QString::fromStdString(errors.str()),
             QStringLiteral("quorvel: 127.0.0.1: a ping could not be run (Too many open files); "
                            "such pings are counted as errors, not as lost\n"));
    QCOMPARE(m_form->session().Chart().data.Ping(1).value, 800);  // drawn as the empty reply
    const std::string json = m_form->session().Published().json;
    QVERIFY2(json.find("\"sent\":2,\"received\":2,\"lost\":0,") != std::string::npos, json.c_str());
    QVERIFY2(json.find("\"errors\":{\"Too many open files\":2}") != std::string::npos, json.c_str());
  }

  // /metrics is a 404 until the access dialog's switch turns it on; its
  // counters then run for the life of the program, through Clear.
  void metricsAreServedWhereSwitchedOn() {
    const int port = StartServer();
    QVERIFY(port != 0);
    Find<QCheckBox>("cbIgnore")->setChecked(false);
    PingScript({"reply 0.047", "lost", "reply 0.120"});
    Run(3);
    QVERIFY(Fetch(port, "/metrics").find("HTTP/1.1 404 Not Found") == 0);

    QTimer::singleShot(0, this, [&] {
      m_form->accessDialog()->findChild<QCheckBox*>("cbMetrics")->setChecked(true);
      m_form->accessDialog()->findChild<QPushButton*>("Button1")->click();
    });
    Find<QPushButton>("btnAdvanced")->click();
    QVERIFY(m_form->settings().extras.metrics);
    Find<QToolButton>("btnClear")->click();
    m_form->Timer1Timer();

    const std::string reply = Fetch(port, "/metrics");
    QVERIFY2(reply.find("HTTP/1.1 200 OK\r\n") == 0, reply.c_str());
    QVERIFY(reply.find("Content-Type: text/plain; version=0.0.4\r\n") != std::string::npos);
    for (const char* line : {"quorvel_requests_total{host=\"127.0.0.1\"} 4\n",
                             "quorvel_responses_total{host=\"127.0.0.1\"} 3\n",
                             "quorvel_response_duration_seconds_bucket{host=\"127.0.0.1\",le=\"5e-05\"} 1\n",
                             "quorvel_response_duration_seconds_bucket{host=\"127.0.0.1\",le=\"0.0002\"} 3\n",
                             "quorvel_response_duration_seconds_count{host=\"127.0.0.1\"} 3\n",
                             // Spoilt replies and pings not run are counted too.
                             "quorvel_corrupted_replies_total{host=\"127.0.0.1\"} 0\n",
                             // The server's and the process's own figures.
                             "quorvel_http_replies_total{status=\"404\"} 1\n", "process_open_fds "}) {
      QVERIFY2(reply.find(line) != std::string::npos, line);
    }
  }
};

QTEST_MAIN(Form1StatsTest)
#include "form1_stats_test.moc"
