#include "common/fixedclock.h"
#include "run/plotrun.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "run/usererror.h"

namespace quorvel {
namespace {

std::string Reply(int ms) {
  return "> ping\nPING x\n\nReply from x: bytes=64 time=" + std::to_string(ms) + ".5ms\n";
}
const std::string kLost = "> ping\nPING x\n\nRequest timed out.\n";
const std::string kNotFound = "> ping\n\n\nPing request could not find host x. Please check\n";

// Records what the plot run does and answers its reads from plain fields.
class RecordingHost final : public PlotRunHost {
 public:
  std::string address = "127.0.0.1";
  std::int32_t timeout = 800;
  bool ignoreFirst = true;
  int pages = 1;
  int points = 10;
  bool stopAtLimit = true;
  bool restartAtLimit = false;
  bool captureReady = true;
  bool captureFails = false;
  bool logFails = false;
  std::deque<std::string> responses;  // one per probe; empty: a lost ping
  std::string response;

  std::vector<std::string> calls;
  std::vector<int> plotted;  // values of points currently on the graph
  int captures = 0;
  bool armed = false;
  bool startDown = false;
  bool addressEnabled = true;
  bool stoppedShown = false;
  std::vector<std::string> history;
  std::vector<std::string> messages;
  std::vector<std::string> logged;
  std::string startedPanel;

  std::string Address() override { return address; }
  std::int32_t PingTimeout() override { return timeout; }
  Colour PlotColour() override { return kBlue; }
  bool IgnoreFirstPing() override { return ignoreFirst; }
  int Pages() override { return pages; }
  int PointsPerPage() override { return points; }
  bool StopAtLimit() override { return stopAtLimit; }
  bool RestartAtLimit() override { return restartAtLimit; }
  bool CaptureReady() override { return captureReady; }
  void ClearResponse() override {
    calls.push_back("clear");
    response.clear();
  }
  void RunProbe(const std::string& commandLine) override {
    calls.push_back("probe " + commandLine);
    if (responses.empty()) {
      response += kLost;
    } else {
      response += responses.front();
      responses.pop_front();
    }
  }
  std::string ResponseText() override { return response; }
  void ShowReplyLine(const std::string& line) override { calls.push_back("reply " + line); }
  void AddPoint(const Sample& sample) override {
    calls.push_back("point " + std::to_string(sample.value));
    plotted.push_back(sample.value);
  }
  void PageReset() override {
    calls.push_back("page reset");
    plotted.clear();
  }
  void CaptureNow() override {
    calls.push_back("capture");
    if (captureFails) throw UserError("No space left on device");
    ++captures;
  }
  void WindowStep(std::int32_t n) override { calls.push_back("window " + std::to_string(n)); }
  double StatisticsStep(std::int32_t value) override {
    calls.push_back("statistics");
    return value;
  }
  void LogStep(const std::string& text, double) override {
    calls.push_back("log " + text);
    if (logFails) throw UserError("Permission denied");
    logged.push_back(text);
  }
  void ShowGraphPage() override { calls.push_back("graph page"); }
  void ShowStoppedLabel(bool shown) override { stoppedShown = shown; }
  void SetTimerArmed(bool a) override { armed = a; }
  void SetStartDown(bool down) override { startDown = down; }
  void SetAddressEnabled(bool enabled) override { addressEnabled = enabled; }
  void AddAddressToHistory(const std::string& a) override { history.push_back(a); }
  void SetStartedPanel(const std::string& text) override { startedPanel = text; }
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
};

class PlotRunTest : public testing::Test {
 protected:
  FixedClock clock{kMonday7December2026};
  PlotRun run{clock};
  RecordingHost host;
};

TEST_F(PlotRunTest, TickRunsItsStepsInOrder) {
  host.ignoreFirst = false;
  host.responses = {Reply(85)};
  run.Tick(host);
  const std::vector<std::string> expected = {
      "clear", "probe ping 127.0.0.1 -w 800 -n 1", "reply Reply from x: bytes=64 time=85.5ms",
      "point 85", "window 1", "statistics", "log 85"};
  EXPECT_EQ(host.calls, expected);
}

TEST_F(PlotRunTest, StartPlotsNothingForTheIgnoredFirstPingAndArms) {
  run.Start(host);
  EXPECT_TRUE(host.plotted.empty());
  EXPECT_EQ(run.PageTickCount(), 0);
  EXPECT_EQ(run.WindowTickCount(), 1);
  EXPECT_EQ(run.CaptureTickCount(), 1);
  EXPECT_TRUE(host.armed);
  EXPECT_TRUE(host.startDown);
  EXPECT_FALSE(host.addressEnabled);
  EXPECT_EQ(host.history, std::vector<std::string>{"127.0.0.1"});
  EXPECT_EQ(host.startedPanel, "Plot Started: Mon 07 Dec");
  EXPECT_EQ(host.calls.front(), "graph page");
}

TEST_F(PlotRunTest, PageLimitWithStop) {
  run.Start(host);
  for (int k = 1; k <= 11; ++k) {
    run.Tick(host);
    EXPECT_EQ(host.plotted.size(), static_cast<std::size_t>(k));
    if (k < 9) EXPECT_EQ(host.captures, 0) << k;
    if (k == 9) EXPECT_EQ(host.captures, 1);  // CaptureTickCount reached 10 with 9 points
    if (k < 11) EXPECT_TRUE(host.armed) << k;
  }
  EXPECT_FALSE(host.armed);
  EXPECT_FALSE(host.startDown);
  EXPECT_TRUE(host.stoppedShown);
  EXPECT_TRUE(host.addressEnabled);
  EXPECT_EQ(run.PageTickCount(), 0);
}

TEST_F(PlotRunTest, PageLimitWithRestart) {
  host.stopAtLimit = false;
  host.restartAtLimit = true;
  run.Start(host);
  for (int k = 1; k <= 11; ++k) run.Tick(host);
  EXPECT_TRUE(host.plotted.empty());  // point 11 emptied with the series
  EXPECT_TRUE(host.armed);
  EXPECT_EQ(run.WindowTickCount(), 0);
  run.Tick(host);  // tick 12 is ignored again
  EXPECT_TRUE(host.plotted.empty());
  host.responses = {Reply(7)};
  run.Tick(host);  // tick 13 starts the new page
  EXPECT_EQ(host.plotted, std::vector<int>{7});
}

TEST_F(PlotRunTest, StopThenStartDoesNotIgnoreAgain) {
  run.Start(host);
  run.Tick(host);
  run.Stop(host);
  EXPECT_FALSE(host.armed);
  host.responses = {Reply(33)};
  run.Start(host);
  EXPECT_EQ(host.plotted.back(), 33);
}

TEST_F(PlotRunTest, NoPageLimitStillCaptures) {
  host.pages = 0;
  run.Start(host);
  for (int k = 1; k <= 40; ++k) run.Tick(host);
  EXPECT_TRUE(host.armed);
  EXPECT_EQ(host.captures, 4);
}

TEST_F(PlotRunTest, CaptureWaitsForItsFolderThenComesAtOnce) {
  host.pages = 0;
  host.captureReady = false;
  run.Start(host);
  for (int k = 1; k <= 25; ++k) run.Tick(host);
  EXPECT_EQ(run.CaptureTickCount(), 26);
  host.captureReady = true;
  run.Tick(host);
  EXPECT_EQ(host.captures, 1);
  EXPECT_EQ(run.CaptureTickCount(), 0);
}

TEST_F(PlotRunTest, UnknownHostStopsWithItsMessageAndLatches) {
  host.address = "nohost";
  host.responses = {kNotFound};
  run.Start(host);
  EXPECT_EQ(host.messages, std::vector<std::string>{"Unable to find host nohost"});
  EXPECT_TRUE(run.HostNotFound());
  EXPECT_FALSE(host.armed);
  EXPECT_FALSE(host.startDown);
  EXPECT_TRUE(host.history.empty());
  // The next Start's probe is not plotted; its success clears the latch.
  host.address = "127.0.0.1";
  host.ignoreFirst = false;
  host.responses = {Reply(5), Reply(6)};
  run.Start(host);
  EXPECT_TRUE(host.plotted.empty());
  EXPECT_FALSE(run.HostNotFound());
  run.Tick(host);
  EXPECT_EQ(host.plotted, std::vector<int>{6});
}

TEST_F(PlotRunTest, FailedCaptureDoesNotEndTheTick) {
  host.pages = 0;
  host.ignoreFirst = false;
  host.points = 10;
  host.captureFails = true;
  for (int k = 1; k < 10; ++k) run.Tick(host);
  host.calls.clear();
  EXPECT_THROW(run.Tick(host), UserError);
  // The window step, statistics and log still ran.
  EXPECT_EQ(host.calls.back(), "log 800");
  EXPECT_EQ(run.CaptureTickCount(), 10);  // the next tick tries again
}

TEST_F(PlotRunTest, FailedLogInStartsImmediateTickEndsStart) {
  host.ignoreFirst = false;
  host.logFails = true;
  EXPECT_THROW(run.Start(host), UserError);
  EXPECT_FALSE(host.armed);
  EXPECT_TRUE(host.history.empty());
  // During a run the log error ends the tick, which already plotted.
  host.logFails = false;
  run.Start(host);
  host.logFails = true;
  EXPECT_THROW(run.Tick(host), UserError);
  EXPECT_TRUE(host.armed);
  EXPECT_EQ(host.plotted.size(), 3u);
}

TEST_F(PlotRunTest, ClearResetsTheWindowAndCaptureCountsOnly) {
  run.Start(host);
  run.Tick(host);
  run.Clear();
  EXPECT_EQ(run.WindowTickCount(), 0);
  EXPECT_EQ(run.CaptureTickCount(), 0);
  EXPECT_EQ(run.PageTickCount(), 1);
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
