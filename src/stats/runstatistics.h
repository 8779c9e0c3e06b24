#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "stats/latencyhistogram.h"

namespace quorvel {

// The figures of a run at one moment. Times are in milliseconds; those of the
// received times are meaningful only when `received` > 0, the two jitters only
// when `received` > 1.
struct StatisticsSummary {
  std::uint64_t sent = 0;
  std::uint64_t received = 0;
  std::uint64_t lost = 0;
  double lossPercent = 0;  // lost / sent * 100; 0 when nothing was sent

  double minMs = 0;
  double meanMs = 0;
  double maxMs = 0;
  double stdDevMs = 0;  // population standard deviation

  // Over arrival order: the RFC 3550 interarrival estimate (J += (|D| - J) / 16,
  // D the difference of two consecutive received times) and the plain mean of
  // |D|.
  double jitterMs = 0;
  double meanDifferenceMs = 0;

  // Nearest-rank percentiles from the histogram (see LatencyHistogram).
  double p50Ms = 0;
  double p95Ms = 0;
  double p99Ms = 0;

  std::uint64_t longestLossRun = 0;  // consecutive lost samples
  std::optional<std::int64_t> lastLossUnixMs;
  std::int32_t lastLossUtcOffsetSeconds = 0;  // the local offset at that moment
};

// Statistics of a run, fed one sample per plotted point in arrival order.
//
// O(1) per sample and a fixed size whatever the length of the run: running
// sums and extremes, the jitter state, the loss runs and a LatencyHistogram
// for the percentiles. Not thread-safe; the owner serialises access.
class RunStatistics {
 public:
  // A reply after `micros` microseconds (negative counts as 0).
  void AddReply(std::int64_t micros);
  // A lost ping at `unixMs`, when the local offset from UTC was `utcOffsetSeconds`.
  void AddLoss(std::int64_t unixMs, std::int32_t utcOffsetSeconds);
  // AddReply for a time, AddLoss for none.
  void Add(const std::optional<std::int64_t>& micros, std::int64_t unixMs,
           std::int32_t utcOffsetSeconds);
  void Clear();

  StatisticsSummary Summary() const;
  const LatencyHistogram& Histogram() const { return histogram_; }
  std::uint64_t Sent() const { return received_ + lost_; }
  std::uint64_t Lost() const { return lost_; }

 private:
  std::uint64_t received_ = 0;
  std::uint64_t lost_ = 0;
  std::int64_t sum_ = 0;  // microseconds, exact
  std::int64_t min_ = 0;
  std::int64_t max_ = 0;
  double welfordMean_ = 0;  // for the deviation
  double welfordM2_ = 0;
  std::int64_t previous_ = 0;  // the last received time
  double jitter_ = 0;
  std::int64_t differenceSum_ = 0;
  std::uint64_t lossRun_ = 0;
  std::uint64_t longestLossRun_ = 0;
  std::optional<std::int64_t> lastLossUnixMs_;
  std::int32_t lastLossUtcOffset_ = 0;
  LatencyHistogram histogram_;
};

// Milliseconds with three decimals: "0.047", "315.522"; rounded to whole
// microseconds, halves away from zero.
std::string FormatMs(double ms);
// "0.047" for 47 us: microseconds as milliseconds with three decimals, exact.
std::string FormatMicrosAsMs(std::int64_t micros);

// "Loss: 2 of 400 (0.5 %)"; a loss that would show as 0.0 % shows "<0.1 %".
std::string LossText(const StatisticsSummary& s);

// Short lines for a status panel, fullest first (loss, min/avg/max, jitter
// and p95), each shorter than the one before, so that the panel can show the
// first that fits. Empty before the first sample.
std::vector<std::string> StatisticsLineVariants(const StatisticsSummary& s);

// Every figure, one line each, as the graph menu lists them below the
// maximum, average and minimum (which count a lost ping at its timeout):
// the figures of the reply times say "of replies". The time of the last
// loss is local time at that moment, "yyyy-mm-dd hh:mm:ss".
std::vector<std::string> StatisticsLines(const StatisticsSummary& s);

// The figures as one JSON object, with `address` as the target's name.
// Figures that do not exist yet (no reply, no loss) are null.
std::string StatisticsJson(const StatisticsSummary& s, const std::string& address);

// A JSON string literal of `text` (quotes included); bytes that are not valid
// UTF-8 become U+FFFD.
std::string JsonString(const std::string& text);

}  // namespace quorvel
