#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "stats/prometheus.h"
#include "stats/runstatistics.h"

namespace quorvel {

// Everything known of the probes of one target, in one place: the window and
// the agent both keep one of these per target, and its JSON and Prometheus
// forms come from here.
//
// Two spans of time are kept apart:
//  - the run statistics (loss, min/avg/max, jitter, percentiles) since the
//    last ClearRun, which is what the window shows beside its graph and
//    what Clear and the page reset start again;
//  - the counters of the exposition (probes, replies, reply durations and
//    the jitter estimate), which only grow for as long as the target stays
//    the same, as Prometheus counters must.
// The agent never clears, so for it both spans are the same.
//
// O(1) per probe and a fixed size, however long the run. Not thread-safe:
// the owner serialises access (the agent under a mutex per target, the
// window on its own thread, publishing copies for its request threads).
class TargetFigures {
 public:
  explicit TargetFigures(std::string host = {}) : host_(std::move(host)) {}

  const std::string& Host() const { return host_; }
  // Another target: everything starts again. The same name keeps it all.
  void SetHost(const std::string& host);

  // One probe that ended at `unixMs` (local offset `utcOffsetSeconds`): a
  // reply after `micros`, or lost when empty.
  void Add(const std::optional<std::int64_t>& micros, std::int64_t unixMs,
           std::int32_t utcOffsetSeconds);

  // The run statistics start again; the counters go on.
  void ClearRun() { run_.Clear(); }

  const RunStatistics& Run() const { return run_; }
  StatisticsSummary Summary() const { return run_.Summary(); }
  // The last probe: whether one has ended, and its reply time (empty: lost).
  bool AnyProbe() const { return requests_ > 0; }
  const std::optional<std::int64_t>& LastMicros() const { return last_; }

  // The exposition's view: counters since the target was set.
  TargetMetrics Metrics() const;
  // The run statistics as one JSON object naming the target.
  std::string Json() const { return StatisticsJson(run_.Summary(), host_); }

 private:
  std::string host_;
  RunStatistics run_;
  // Counters of the exposition.
  std::uint64_t requests_ = 0;
  ResponseDurations durations_;
  std::optional<std::int64_t> last_;
  std::optional<std::int64_t> previousReply_;  // for the jitter estimate
  double jitterMicros_ = 0;
};

}  // namespace quorvel
