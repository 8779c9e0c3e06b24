// Plotted ticks through the widget-free core (fake samples, no child
// process): the cost of one tick with 1,000 and with 1,000,000 points on the
// graph, and the memory the three series take per plotted tick.
#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "graph/axiswindow.h"
#include "graph/chartmodel.h"
#include "graph/statistics.h"
#include "run/plotrun.h"

namespace {

using namespace quorvel;

class BenchClock final : public Clock {
 public:
  LocalTime Now() const override { return LocalTime{}; }
};

// Does what the main window does for each step, minus the widgets.
class CoreHost final : public PlotRunHost {
 public:
  ChartModel chart;
  std::string response;
  unsigned sample = 0;
  std::int64_t now = 1'765'000'000'000;
  StatisticsSummary summary;

  std::string Address() override { return "127.0.0.1"; }
  std::int32_t PingTimeout() override { return 3000; }
  Colour PlotColour() override { return kBlue; }
  bool IgnoreFirstPing() override { return true; }
  int Pages() override { return 0; }
  int PointsPerPage() override { return 400; }
  bool StopAtLimit() override { return true; }
  bool RestartAtLimit() override { return false; }
  bool CaptureReady() override { return false; }
  void ClearResponse() override { response.clear(); }
  void RunProbe(const std::string&) override {
    sample = sample * 1103515245u + 12345u;
    response = "> ping\nPING x\n\nReply from x: bytes=64 time=" + std::to_string(sample % 200) +
               ".123ms\n";
  }
  std::string ResponseText() override { return response; }
  void ShowReplyLine(const std::string&) override {}
  // As the window does: the point with its instant and precise time, the
  // statistics, and the summary the status line shows.
  void AddPoint(const Sample& s) override {
    now += 1000;
    const PointStamp stamp{static_cast<std::uint32_t>(now / 1000 % 86400), now, 0};
    chart.data.AddPing(s.value, s.colour, stamp, s.micros);
    chart.stats.Add(s.micros, now, 0);
    summary = chart.stats.Summary();
    chart.Changed();
  }
  void PageReset() override {}
  void CaptureNow() override {}
  void WindowStep(std::int32_t n) override {
    quorvel::WindowStep(chart.bottom, n, chart.data.PingCount());
  }
  double StatisticsStep(std::int32_t value) override {
    return quorvel::StatisticsStep(chart.data, value, true, kFuchsia, 0).comparison;
  }
  void LogStep(const std::string&, double) override {}
  void ShowGraphPage() override {}
  void ShowStoppedLabel(bool) override {}
  void SetTimerArmed(bool) override {}
  void SetStartDown(bool) override {}
  void SetAddressEnabled(bool) override {}
  void AddAddressToHistory(const std::string&) override {}
  void SetStartedPanel(const std::string&) override {}
  void ShowMessage(const std::string&) override {}
};

double NanosPerTick(PlotRun& run, CoreHost& host, int ticks) {
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < ticks; ++i) run.Tick(host);
  const auto took = std::chrono::steady_clock::now() - start;
  return std::chrono::duration<double, std::nano>(took).count() / ticks;
}

// Median of several timed stretches of ticks at the current fill.
double MedianNanos(PlotRun& run, CoreHost& host) {
  std::vector<double> t;
  for (int r = 0; r < 9; ++r) t.push_back(NanosPerTick(run, host, 200));
  std::sort(t.begin(), t.end());
  return t[t.size() / 2];
}

void FillTo(PlotRun& run, CoreHost& host, std::size_t points) {
  while (host.chart.data.PingCount() < points) run.Tick(host);
}

}  // namespace

int main() {
  BenchClock clock;

  CoreHost small;
  PlotRun smallRun(clock);
  ResetWindow(small.chart.bottom, 400);
  FillTo(smallRun, small, 1000);
  const double atThousand = MedianNanos(smallRun, small);

  CoreHost big;
  PlotRun bigRun(clock);
  ResetWindow(big.chart.bottom, 400);
  const std::size_t heapBefore = mallinfo2().uordblks;
  FillTo(bigRun, big, 1'000'000);
  const std::size_t heapAfter = mallinfo2().uordblks;
  const double atMillion = MedianNanos(bigRun, big);

  const double bytesPerTick = static_cast<double>(heapAfter - heapBefore) / 1'000'000.0;
  std::printf("tick with     1,000 points: %8.0f ns\n", atThousand);
  std::printf("tick with 1,000,000 points: %8.0f ns  (%.2fx; target <= 1.5x)\n", atMillion,
              atMillion / atThousand);
  std::printf("memory per plotted tick, three series together: %.1f bytes (target <= 32)\n",
              bytesPerTick);
  return 0;
}
