// Plotted ticks through the widget-free core (fake samples, no child
// process): the cost of one tick with 1,000 and with 1,000,000 points on the
// graph, the statistics step included, and the memory everything kept per
// point takes per plotted tick (the three series with each point's instant
// and precise time). Then the error of the percentiles of the run
// statistics on 1,000,000 random reply times against exact sorting.
#include <malloc.h>

#include <cmath>
#include <random>

#include <algorithm>
#include <chrono>
#include <functional>
#include <utility>
#include <cstdio>
#include <string>
#include <vector>

#include "graph/axiswindow.h"
#include "stats/latencyhistogram.h"
#include "stats/runstatistics.h"
#include "graph/chartmodel.h"
#include "graph/seriesstatistics.h"
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
    if (sample % 50 == 7) {
      response = "> ping\nPING x\n\nRequest timed out.\n";
      return;
    }
    response = "> ping\nPING x\n\nReply from x: bytes=64 time=" + std::to_string(sample % 200) +
               "." + std::to_string(100 + sample % 900) + "ms\n";
  }
  std::string ResponseText() override { return response; }
  void ShowReplyLine(const std::string&) override {}
  // As the window does: the point with its instant and precise time, the
  // statistics, and the summary the status line shows.
  void AddPoint(const Sample& s) override {
    now += 1000;
    const PointStamp stamp{static_cast<std::uint32_t>(now / 1000 % 86400), now, 0};
    chart.data.AddPing(s.value, s.colour, stamp, s.micros);
    chart.figures.Add(s.micros, now, 0);
    summary = chart.figures.Summary();
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
  const StatisticsSummary seen = big.chart.figures.Summary();
  std::printf("tick with     1,000 points: %8.0f ns\n", atThousand);
  std::printf("tick with 1,000,000 points: %8.0f ns  (%.2fx; target <= 1.5x)\n", atMillion,
              atMillion / atThousand);
  std::printf("memory per plotted tick, everything kept per point: %.2f bytes (target <= 32)\n",
              bytesPerTick);
  std::printf("  (run of %llu samples: loss %.2f %%, p95 %.3f ms, jitter %.3f ms)\n",
              static_cast<unsigned long long>(seen.sent), seen.lossPercent, seen.p95Ms,
              seen.jitterMs);

  // Percentiles against exact sorting: reply times spread log-uniformly
  // from 1 us to 60 s, and a log-normal Internet-like run.
  struct Spread {
    const char* name;
    std::function<std::int64_t(std::mt19937_64&)> draw;
  };
  const Spread spreads[] = {
      {"log-uniform 1 us .. 60 s",
       [](std::mt19937_64& r) {
         return static_cast<std::int64_t>(
             std::exp(std::uniform_real_distribution<double>(0, std::log(60e6))(r)));
       }},
      {"log-normal around 20 ms",
       [](std::mt19937_64& r) {
         return std::llround(std::lognormal_distribution<double>(std::log(20'000.0), 0.5)(r));
       }},
  };
  for (const Spread& spread : spreads) {
    std::mt19937_64 random(2026);
    RunStatistics stats;
    std::vector<std::int64_t> all;
    all.reserve(1'000'000);
    for (int i = 0; i < 1'000'000; ++i) {
      const std::int64_t v = spread.draw(random);
      all.push_back(v);
      stats.AddReply(v);
    }
    std::sort(all.begin(), all.end());
    const StatisticsSummary s = stats.Summary();
    double worst = 0;
    for (const auto& [q, got] : {std::pair{0.50, s.p50Ms}, {0.95, s.p95Ms}, {0.99, s.p99Ms}}) {
      const double exact = static_cast<double>(all[QuantileRank(q, all.size()) - 1]) / 1000.0;
      const double error = std::fabs(got - exact) / exact;
      worst = std::max(worst, error);
      std::printf("  %-26s p%-2.0f exact %12.3f ms, histogram %12.3f ms, error %.4f %%\n",
                  spread.name, q * 100, exact, got, error * 100);
    }
    // Every percentile from 0.1 to 100 in steps of 0.1.
    for (int permille = 1; permille <= 1000; ++permille) {
      const double exact = static_cast<double>(all[QuantileRank(permille / 1000.0, all.size()) - 1]);
      worst = std::max(worst, std::fabs(stats.Histogram().Quantile(permille / 1000.0) - exact) /
                                  std::max(exact, 1.0));
    }
    std::printf("  %-26s worst of 1,000 percentiles: %.4f %% (stated bound %.4f %%)\n",
                spread.name, worst * 100, LatencyHistogram::kMaxRelativeError * 100);
  }
  return 0;
}
