// The plot session without a window: Start, Stop and the tick with their
// counters, the page limit and capture, the host-not-found latch, errors
// that end a tick, and one tick at a time.
#include "run/plotsession.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "common/fixedclock.h"
#include "graph/sampleexport.h"

namespace quorvel {
namespace {

std::string Reply(int ms) {
  return "> ping\nPING x\n\nReply from x: bytes=64 time=" + std::to_string(ms) + ".5ms\n";
}
const std::string kNotFound = "> ping\n\n\nPing request could not find host x. Please check\n";

// The log and capture folders exist or not as told; log lines are kept.
class FakeFiles final : public FileAppender {
 public:
  bool captureFolder = true;
  bool logFails = false;
  std::vector<std::string> lines;
  bool DirectoryExists(const std::string& path) const override {
    return path == "/logs/" || (path == "/captures" && captureFolder);
  }
  std::error_code Append(const std::string&, std::string_view bytes) override {
    if (logFails) return std::make_error_code(std::errc::permission_denied);
    lines.emplace_back(bytes);
    return {};
  }
};

class Recorder final : public PlotSessionListener {
 public:
  std::vector<std::string> steps;
  RunState state;
  int captures = 0;
  bool captureFails = false;
  std::vector<std::string> messages, errors, statusLines, history, errorLines;
  std::string startedPanel;
  std::function<void()> duringCapture;

  void ResponseChanged(const std::string&) override {}
  void ReplyLineShown(const std::string& line) override { steps.push_back("reply " + line); }
  void ChartChanged() override {}
  void CaptionsChanged(const StatisticsCaptions& c) override { steps.push_back(c.avg); }
  // Only the parts set are taken, as the window does.
  void RunStateChanged(const RunState& s, unsigned changed) override {
    if (changed & RunState::kTimer) state.timerArmed = s.timerArmed;
    if (changed & RunState::kButtons) state.startDown = s.startDown;
    if (changed & RunState::kAddress) state.addressEnabled = s.addressEnabled;
    if (changed & RunState::kStopped) state.stoppedShown = s.stoppedShown;
  }
  void Starting() override { steps.push_back("graph page"); }
  void StartedPanelChanged(const std::string& text) override { startedPanel = text; }
  void Notify(const std::string& text, NoticeKind kind) override {
    (kind == NoticeKind::Error ? errors : kind == NoticeKind::Message ? messages : statusLines)
        .push_back(text);
  }
  void ErrorLine(const std::string& line) override { errorLines.push_back(line); }
  Status CapturePage() override {
    if (duringCapture) duringCapture();
    if (captureFails) return Status::Error("No space left on device");
    ++captures;
    return Status::Ok();
  }
  void HistoryInserted(std::size_t, const std::string& entry) override { history.push_back(entry); }
};

class PlotSessionTest : public testing::Test {
 protected:
  PlotSessionTest() {
    settings.address = "127.0.0.1";
    settings.intervalSeconds = 1;
    settings.pages = 1;
    settings.pointsPerPage = 10;
    settings.capture = true;
    settings.captureFolder = "/captures";
    settings.log.mode = {false, true, false};
    settings.log.fileName = "/logs/ping.txt";
    session.IntervalChanged();
  }

  // Values of the ping points on the graph.
  std::vector<int> Plotted() const {
    std::vector<int> values;
    for (std::size_t i = 0; i < session.Chart().data.PingCount(); ++i) {
      values.push_back(static_cast<int>(session.Chart().data.Ping(i).value));
    }
    return values;
  }

  FixedClock clock{kMonday7December2026};
  RunSettings settings;
  GraphAppearance look;
  Recorder recorder;
  FakeFiles files;
  std::deque<std::string> responses;  // one per probe; none left: lost
  std::deque<ProbeResult> results;    // taken before responses while any are left
  std::vector<std::string> commandLines;
  std::function<void()> duringProbe;
  PlotSession session{clock, settings, look,
                      [this](const std::string& line) {
                        commandLines.push_back(line);
                        if (duringProbe) duringProbe();
                        ProbeResult r;
                        if (!results.empty()) {
                          r = results.front();
                          results.pop_front();
                          return r;
                        }
                        r.text = responses.empty() ? "\n\n\nRequest timed out.\n" : responses.front();
                        if (!responses.empty()) responses.pop_front();
                        return r;
                      },
                      recorder, files};
};

TEST_F(PlotSessionTest, TickProbesPlotsStepsAndLogs) {
  settings.ignoreFirst = false;
  responses = {Reply(85)};
  session.Tick();
  EXPECT_EQ(commandLines, std::vector<std::string>{"ping 127.0.0.1 -w 800 -n 1"});
  EXPECT_EQ(recorder.steps, (std::vector<std::string>{"reply Reply from x: bytes=64 time=85.5ms",
                                                      "Avg. value: "}));
  EXPECT_EQ(Plotted(), std::vector<int>{85});
  EXPECT_EQ(session.Chart().data.Ping(0).colour, look.plot);
  ASSERT_EQ(files.lines.size(), 1u);
  EXPECT_EQ(files.lines[0], "Mon 07 Dec 2026  14:05:09, 85ms\r\n");
  EXPECT_EQ(session.Chart().figures.Summary().received, 1u);
}

TEST_F(PlotSessionTest, StartIgnoresTheFirstPingArmsAndRemembersTheAddress) {
  session.Start();
  EXPECT_TRUE(Plotted().empty());
  EXPECT_EQ(session.Counters().pageTicks, 0);
  EXPECT_EQ(session.Counters().windowTicks, 1);
  EXPECT_EQ(session.Counters().captureTicks, 1);
  EXPECT_EQ(recorder.state, (RunState{true, true, false, false}));
  EXPECT_EQ(recorder.history, std::vector<std::string>{"127.0.0.1"});
  EXPECT_EQ(recorder.startedPanel, "Plot Started: Mon 07 Dec");
  EXPECT_EQ(recorder.steps.front(), "graph page");
}

// One page of ten points, then the page limit: Stop, or a fresh page.
TEST_F(PlotSessionTest, PageLimitStopsOrRestarts) {
  session.Start();
  for (int k = 1; k <= 11; ++k) {
    session.Tick();
    EXPECT_EQ(Plotted().size(), static_cast<std::size_t>(k));
    EXPECT_EQ(recorder.captures, k < 9 ? 0 : 1) << k;  // captureTicks reached 10 with 9 points
  }
  EXPECT_EQ(recorder.state, (RunState{false, false, true, true}));

  settings.stopAtLimit = false;
  settings.restartAtLimit = true;
  session.Start();
  for (int k = 1; k <= 11; ++k) session.Tick();
  EXPECT_TRUE(Plotted().empty());  // point 11 emptied with the series
  EXPECT_TRUE(recorder.state.timerArmed);
  session.Tick();  // ignored again: the window count starts over
  EXPECT_TRUE(Plotted().empty());
  responses = {Reply(7)};
  session.Tick();
  EXPECT_EQ(Plotted(), std::vector<int>{7});
}

TEST_F(PlotSessionTest, CaptureWaitsForItsFolderThenComesAtOnce) {
  settings.pages = 0;
  files.captureFolder = false;
  session.Start();
  for (int k = 1; k <= 25; ++k) session.Tick();
  EXPECT_EQ(session.Counters().captureTicks, 26);
  files.captureFolder = true;
  session.Tick();
  EXPECT_EQ(recorder.captures, 1);
  EXPECT_EQ(session.Counters().captureTicks, 0);
}

TEST_F(PlotSessionTest, UnknownHostStopsWithItsMessageAndLatches) {
  settings.address = "nohost";
  responses = {kNotFound};
  session.Start();
  EXPECT_EQ(recorder.messages, std::vector<std::string>{"Unable to find host nohost"});
  EXPECT_TRUE(session.Counters().hostNotFound);
  EXPECT_FALSE(recorder.state.timerArmed);
  EXPECT_TRUE(recorder.history.empty());
  // The next Start's probe is not plotted; its success clears the latch.
  settings.address = "127.0.0.1";
  settings.ignoreFirst = false;
  responses = {Reply(5), Reply(6)};
  session.Start();
  EXPECT_TRUE(Plotted().empty());
  EXPECT_FALSE(session.Counters().hostNotFound);
  session.Tick();
  EXPECT_EQ(Plotted(), std::vector<int>{6});
}

// A failed capture or log write is told once the tick's steps are done; an
// error in Start's own tick leaves the run stopped.
TEST_F(PlotSessionTest, ErrorsEndTheirTickAfterItsSteps) {
  settings.pages = 0;
  settings.ignoreFirst = false;
  recorder.captureFails = true;
  files.logFails = true;
  for (int k = 1; k <= 10; ++k) session.Tick();
  // The capture fails at the tenth tick, the log at every tick: its box
  // once, the status bar after that.
  EXPECT_EQ(recorder.errors, (std::vector<std::string>{"Permission denied", "No space left on device"}));
  EXPECT_EQ(recorder.statusLines.size(), 9u);
  EXPECT_EQ(session.Counters().captureTicks, 10);  // the next tick tries again
  EXPECT_EQ(Plotted().size(), 10u);
  recorder.errors.clear();
  settings.log.threshold = 1;  // other log settings: both in one box
  session.Tick();
  EXPECT_EQ(recorder.errors, std::vector<std::string>{"No space left on device\nPermission denied"});

  session.Start();
  EXPECT_FALSE(recorder.state.timerArmed);
  EXPECT_TRUE(recorder.history.empty());
}

// A log that cannot be written is boxed once; later failures go to the
// status bar until a line is written or the log settings change.
TEST_F(PlotSessionTest, AFailingLogIsBoxedOnceThenReportedInTheStatusBar) {
  settings.pages = 0;
  settings.ignoreFirst = false;
  settings.capture = false;
  files.logFails = true;
  auto ticks = [this](int n) {
    recorder.errors.clear();
    recorder.statusLines.clear();
    for (int k = 0; k < n; ++k) session.Tick();
  };
  ticks(3);
  EXPECT_EQ(recorder.errors, std::vector<std::string>{"Permission denied"});
  EXPECT_EQ(recorder.statusLines,
            std::vector<std::string>(2, "Log file not written: Permission denied"));
  settings.log.fileName = "/logs/other.txt";  // the settings changed: boxed again
  ticks(2);
  EXPECT_EQ(recorder.errors.size(), 1u);
  EXPECT_EQ(recorder.statusLines.size(), 1u);
  files.logFails = false;  // a line written: the next failure is boxed again
  ticks(1);
  files.logFails = true;
  ticks(2);
  EXPECT_EQ(recorder.errors.size(), 1u);
  EXPECT_EQ(recorder.statusLines.size(), 1u);
  EXPECT_EQ(Plotted().size(), 8u);
}

// With the rule "3 lost in a row" the alert is raised at the third lost
// point and cleared at the next reply: once each, each with a mark at its
// point; /quorvel.json's figures carry the active alerts. A Start drops
// them without a cleared event.
TEST_F(PlotSessionTest, AlertsAreRaisedAndClearedOnceAndMarkTheirPoints) {
  struct AlertRecorder final : public PlotSessionListener {
    PlotSessionListener& inner;
    std::vector<std::string> events;
    std::size_t active = 0;
    explicit AlertRecorder(PlotSessionListener& r) : inner(r) {}
    void ResponseChanged(const std::string&) override {}
    void ReplyLineShown(const std::string&) override {}
    void ChartChanged() override {}
    void CaptionsChanged(const StatisticsCaptions&) override {}
    void RunStateChanged(const RunState& s, unsigned c) override { inner.RunStateChanged(s, c); }
    void Starting() override {}
    void StartedPanelChanged(const std::string&) override {}
    void Notify(const std::string&, NoticeKind) override {}
    Status CapturePage() override { return Status::Ok(); }
    void HistoryInserted(std::size_t, const std::string&) override {}
    void AlertsChanged(const std::vector<AlertEvent>& e, const std::vector<ActiveAlert>& a) override {
      for (const AlertEvent& event : e) events.push_back(AlertEventLine(event));
      if (e.empty()) events.push_back("dropped");
      active = a.size();
    }
  } alerts(recorder);
  settings.pages = 0;
  settings.capture = false;
  settings.ignoreFirst = false;
  PlotSession s(clock, settings, look,
                [this](const std::string&) {
                  ProbeResult r;
                  r.text = responses.empty() ? "\n\n\nRequest timed out.\n" : responses.front();
                  if (!responses.empty()) responses.pop_front();
                  return r;
                },
                alerts, files);
  s.SetAlertRules({ParseAlertRule("lost>=3").rule});
  EXPECT_NE(s.Published().json.find(",\"alerts\":[]}"), std::string::npos);
  responses = {Reply(10), "\n\n\nRequest timed out.\n", "\n\n\nRequest timed out.\n",
               "\n\n\nRequest timed out.\n", "\n\n\nRequest timed out.\n", Reply(10), Reply(10)};
  for (int k = 0; k < 5; ++k) s.Tick();
  EXPECT_EQ(alerts.events,
            std::vector<std::string>{"quorvel: alert raised: 127.0.0.1 lost>=3: 3 lost in a row"});
  EXPECT_EQ(alerts.active, 1u);
  EXPECT_NE(s.Published().json.find("\"alerts\":[{\"rule\":\"lost>=3\""), std::string::npos);
  s.Tick();
  s.Tick();
  ASSERT_EQ(alerts.events.size(), 2u);
  EXPECT_EQ(alerts.events[1].rfind("quorvel: alert cleared: 127.0.0.1 lost>=3", 0), 0u);
  EXPECT_EQ(s.Chart().alertMarks, (std::vector<AlertMark>{{3, true}, {5, false}}));
  EXPECT_NE(s.Published().json.find(",\"alerts\":[]}"), std::string::npos);

  // Raised again, then a new run drops it; the page reset takes the marks.
  for (int k = 0; k < 3; ++k) s.Tick();
  EXPECT_EQ(alerts.active, 1u);
  s.Start();
  EXPECT_EQ(alerts.events.back(), "dropped");
  EXPECT_EQ(alerts.active, 0u);
  s.Clear();
  EXPECT_TRUE(s.Chart().alertMarks.empty());
  // Without rules the figures are as they always were.
  s.SetAlertRules({});
  EXPECT_EQ(s.Published().json.find("alerts"), std::string::npos);
}

// Events handled during a probe may press Start or let the timer fire: a
// tick is never run inside another, and the Start runs right after.
TEST_F(PlotSessionTest, OneTickAtATime) {
  settings.ignoreFirst = false;
  responses = {Reply(111), Reply(222)};
  duringProbe = [this] {
    duringProbe = nullptr;
    session.Tick();   // dropped
    session.Start();  // runs after this tick
  };
  session.Tick();
  EXPECT_EQ(Plotted(), (std::vector<int>{111, 222}));
  EXPECT_TRUE(recorder.state.timerArmed);
}

TEST_F(PlotSessionTest, CancelledProbeEndsTheTickSilently) {
  PlotSession closing(clock, settings, look,
                      [](const std::string&) {
                        ProbeResult r;
                        r.outcome = ProbeResult::Outcome::Cancelled;
                        return r;
                      },
                      recorder, files);
  closing.Start();
  EXPECT_TRUE(recorder.errors.empty());
  EXPECT_EQ(closing.Counters().windowTicks, 0);
  EXPECT_FALSE(recorder.state.timerArmed);
}

TEST_F(PlotSessionTest, ClearAndStopLeaveWhatTheyShould) {
  settings.ignoreFirst = false;
  session.Start();
  session.Tick();
  session.Clear();
  EXPECT_EQ(session.Counters().windowTicks, 0);
  EXPECT_EQ(session.Counters().captureTicks, 0);
  EXPECT_EQ(session.Counters().pageTicks, 1);
  EXPECT_TRUE(Plotted().empty());
  EXPECT_EQ(session.Chart().figures.Summary().sent, 0u);
  // The exposition's counters go on across Clear.
  ASSERT_TRUE(session.Published().metrics);
  EXPECT_EQ(session.Published().metrics->requests, 2u);
  session.Stop();
  EXPECT_EQ(recorder.state, (RunState{false, false, true, false}));
}

ProbeResult NotMade(const char* reason) {
  ProbeResult r;
  r.outcome = ProbeResult::Outcome::Failed;
  r.reason = reason;
  return r;
}

// A ping that could not be run is drawn as the empty reply it leaves, but
// counted apart by its reason wherever the figures go, and told once per
// run of such pings; a spoilt reply is drawn as its line says, counted lost.
TEST_F(PlotSessionTest, APingNotRunIsAnErrorAndASpoiltReplyIsLost) {
  settings.ignoreFirst = false;
  settings.pages = 0;
  settings.capture = false;
  const ProbeResult emfile = NotMade("Too many open files");
  ProbeResult spoilt;
  spoilt.corrupted = true;
  spoilt.text = Reply(10);
  results = {emfile};
  session.Tick();
  ASSERT_TRUE(session.Published().metrics);  // an error alone is on /metrics
  results = {spoilt, emfile, emfile, spoilt, emfile, NotMade("Cannot allocate memory")};
  responses = {Reply(11)};
  for (int k = 0; k < 7; ++k) session.Tick();
  EXPECT_EQ(Plotted(), (std::vector<int>{800, 10, 800, 800, 10, 800, 800, 11}));
  EXPECT_EQ(files.lines.size(), 8u);  // the log as ever
  // Told at ticks 1, 3 and 6: once per run of failures.
  EXPECT_EQ(recorder.statusLines, std::vector<std::string>(3, "Ping could not be run: Too many open files"));
  EXPECT_EQ(recorder.errorLines,
            std::vector<std::string>(3, "quorvel: 127.0.0.1: a ping could not be run (Too many open "
                                        "files); such pings are counted as errors, not as lost\n"));

  const std::string json = session.Published().json;
  const std::string metrics = PlotSession::MetricsText(session.Published());
  const std::string csv = ExportPoints(session.Chart().data, ExportFormat::Csv);
  const std::string at = "," + std::to_string(clock.Now().unixMs) + ",";
  for (const auto& [text, part] : std::vector<std::pair<std::string, std::string>>{
           {json, "\"sent\":3,\"received\":1,\"lost\":2,"},
           {json, ",\"corrupted\":2,\"errors\":{\"Cannot allocate memory\":1,\"Too many open files\":4}}"},
           {metrics, "quorvel_requests_total{host=\"127.0.0.1\"} 3\n"},
           {metrics, "quorvel_corrupted_replies_total{host=\"127.0.0.1\"} 2\n"},
           {metrics, "quorvel_probe_errors_total{host=\"127.0.0.1\",reason=\"Too many open files\"} 4\n"},
           {csv, "plotted_ms,error\r\n"},
           {csv, at + ",0,800,1\r\n"},  // not run: no reply, not lost, an error
           {csv, at + "11.500,0,11,0\r\n"},
           {ExportPoints(session.Chart().data, ExportFormat::JsonLines),
            "\"reply_ms\":null,\"lost\":0,\"plotted_ms\":800,\"error\":1}\n"}}) {
    EXPECT_NE(text.find(part), std::string::npos) << part << " in\n" << text;
  }
  session.Clear();  // the run's count starts again, the exposition's goes on
  EXPECT_NE(session.Published().json.find(",\"corrupted\":0,\"errors\":{}}"), std::string::npos);
  EXPECT_EQ(session.Published().metrics->errors.size(), 2u);
}

// A reply is drawn in the plot colour, anything lost in red.
TEST(ParsePingReply, ColoursRepliesAndLosses) {
  constexpr Colour kPlot = RgbColour(0, 0, 255);
  EXPECT_EQ(ParsePingReply("Reply time=85ms", 3000, kPlot).colour, kPlot);
  for (const char* lost : {"Request timed out.", "", "x time=abc"}) {
    EXPECT_EQ(ParsePingReply(lost, 3000, kPlot).colour, kRed) << lost;
  }
}

}  // namespace
}  // namespace quorvel
