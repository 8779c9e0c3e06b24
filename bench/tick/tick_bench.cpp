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
#include <memory>
#include <utility>
#include <cstdio>
#include <string>
#include <vector>

#include "graph/axiswindow.h"
#include "stats/latencyhistogram.h"
#include "stats/runstatistics.h"
#include "graph/chartmodel.h"
#include "graph/seriesstatistics.h"
#include "run/plotsession.h"

namespace {

using namespace quorvel;

class BenchClock final : public LocalClock {
 public:
  LocalTime Now() const override {
    now += 1000;
    LocalTime t;
    t.unixMs = now;
    return t;
  }
  mutable std::int64_t now = 1'765'000'000'000;
};

// The window's side, minus the widgets: the figures the status line shows
// are read at every change, as the window does.
class CoreView final : public PlotSessionListener {
 public:
  const PlotSession* session = nullptr;
  StatisticsSummary summary;
  void ResponseChanged(const std::string&) override {}
  void ReplyLineShown(const std::string&) override {}
  void ChartChanged() override { summary = session->Chart().figures.Summary(); }
  void CaptionsChanged(const StatisticsCaptions&) override {}
  void RunStateChanged(const RunState&, unsigned) override {}
  void Starting() override {}
  void StartedPanelChanged(const std::string&) override {}
  void Notify(const std::string&, NoticeKind) override {}
  Status CapturePage() override { return Status::Ok(); }
  void HistoryInserted(std::size_t, const std::string&) override {}
};

class NoFiles final : public FileAppender {
 public:
  bool DirectoryExists(const std::string&) const override { return false; }
  std::error_code Append(const std::string&, std::string_view) override { return {}; }
};

// A session fed fake replies (2 % lost) without a child process.
struct Core {
  BenchClock clock;
  RunSettings settings;
  GraphAppearance look;
  CoreView view;
  NoFiles files;
  unsigned sample = 0;
  PlotSession session{clock, settings, look,
                      [this](const std::string&) {
                        sample = sample * 1103515245u + 12345u;
                        ProbeResult r;
                        r.text = sample % 50 == 7
                                     ? "> ping\nPING x\n\nRequest timed out.\n"
                                     : "> ping\nPING x\n\nReply from x: bytes=64 time=" +
                                           std::to_string(sample % 200) + "." +
                                           std::to_string(100 + sample % 900) + "ms\n";
                        return r;
                      },
                      view, files};
  Core() {
    settings.pages = 0;
    view.session = &session;
  }
};

double NanosPerTick(Core& core, int ticks) {
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < ticks; ++i) core.session.Tick();
  const auto took = std::chrono::steady_clock::now() - start;
  return std::chrono::duration<double, std::nano>(took).count() / ticks;
}

// Median of several timed stretches of ticks at the current fill.
double MedianNanos(Core& core) {
  std::vector<double> t;
  for (int r = 0; r < 9; ++r) t.push_back(NanosPerTick(core, 200));
  std::sort(t.begin(), t.end());
  return t[t.size() / 2];
}

void FillTo(Core& core, std::size_t points) {
  while (core.session.Chart().data.PingCount() < points) core.session.Tick();
}

}  // namespace

int main() {
  auto small = std::make_unique<Core>();
  small->session.Clear();
  FillTo(*small, 1000);
  const double atThousand = MedianNanos(*small);

  auto big = std::make_unique<Core>();
  big->session.Clear();
  const std::size_t heapBefore = mallinfo2().uordblks;
  FillTo(*big, 1'000'000);
  const std::size_t heapAfter = mallinfo2().uordblks;
  const double atMillion = MedianNanos(*big);

  const double bytesPerTick = static_cast<double>(heapAfter - heapBefore) / 1'000'000.0;
  const StatisticsSummary seen = big->session.Chart().figures.Summary();
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
