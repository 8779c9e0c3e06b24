#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

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
// Besides the probes that were made, it counts what was not a probe of the
// target's: probes that could not be made at all (by reason: the system
// refused a descriptor, the name does not resolve), which are neither sent
// nor lost, and the slots of the schedule that were missed. A reply whose
// payload came back spoilt counts as lost, and is counted as such too.
//
// O(1) per probe and a fixed size, however long the run (at most
// kMaxErrorReasons reasons are told apart). Not thread-safe:
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

  // A probe answered with a spoilt payload: lost, and counted as spoilt.
  void AddCorrupted(std::int64_t unixMs, std::int32_t utcOffsetSeconds);
  // A probe that could not be made, for `reason` (the system's text). It is
  // not sent, so not lost either. Reasons beyond the first kMaxErrorReasons
  // are counted under "other".
  void AddError(const std::string& reason);
  // Slots of the schedule at which no probe began, because the one before
  // was still running (or the program was held up) when they came.
  void AddMissedSlots(std::uint64_t count) { missedSlots_ += count; }

  // What only an engine of our own tells apart, none of them a probe: a
  // reply after its probe's deadline (the probe was counted lost), a
  // further copy of a reply, and a probe the kernel refused to send (also
  // an error of its reason, through AddError).
  void AddLate() { ++late_; }
  void AddDuplicate() { ++duplicates_; }
  void AddSendError() { ++sendErrors_; }
  std::uint64_t Late() const { return late_; }
  std::uint64_t Duplicates() const { return duplicates_; }
  std::uint64_t SendErrors() const { return sendErrors_; }

  // The run statistics start again (with the run's own count of errors and
  // spoilt replies); the counters go on.
  void ClearRun();

  const RunStatistics& Run() const { return run_; }
  StatisticsSummary Summary() const { return run_.Summary(); }
  // The last probe: whether one has ended, and its reply time (empty: lost).
  bool AnyProbe() const { return requests_ > 0; }
  const std::optional<std::int64_t>& LastMicros() const { return last_; }
  // The reason of the last probe when it could not be made, else empty.
  const std::string& LastError() const { return lastError_; }

  std::uint64_t Corrupted() const { return corrupted_; }
  std::uint64_t MissedSlots() const { return missedSlots_; }
  // Probes that could not be made, by reason, and all of them.
  const std::map<std::string, std::uint64_t>& Errors() const { return errors_; }
  std::uint64_t ErrorCount() const { return errorCount_; }
  // The same since the last ClearRun, beside the run statistics: probes that
  // could not be made, by reason and all of them, and spoilt replies.
  const std::map<std::string, std::uint64_t>& RunErrors() const { return runErrors_; }
  std::uint64_t RunErrorCount() const { return runErrorCount_; }
  std::uint64_t RunCorrupted() const { return runCorrupted_; }
  // The last kRecent probes, oldest first: a reply time, or empty for a lost one.
  std::vector<std::optional<std::int64_t>> Recent() const;

  static constexpr std::size_t kMaxErrorReasons = 16;
  static constexpr std::size_t kRecent = 60;

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
  std::string lastError_;
  std::uint64_t corrupted_ = 0;
  std::uint64_t missedSlots_ = 0;
  std::map<std::string, std::uint64_t> errors_;
  std::uint64_t errorCount_ = 0;
  std::map<std::string, std::uint64_t> runErrors_;
  std::uint64_t runErrorCount_ = 0;
  std::uint64_t runCorrupted_ = 0;
  std::uint64_t late_ = 0;
  std::uint64_t duplicates_ = 0;
  std::uint64_t sendErrors_ = 0;
  // A ring of the last probes: -1 for a lost one.
  std::array<std::int64_t, kRecent> recent_{};
  std::size_t recentCount_ = 0;  // probes ever added, for the ring's place
};

}  // namespace quorvel
