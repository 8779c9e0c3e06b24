#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quorvel {

// The reply times of one target as the metrics exposition counts them:
// exact counts for the buckets 50 us x 2^k (k = 0..19, from 50 us to
// 26.2144 s), the exact sum in microseconds, and the last reply. These
// buckets do not line up with the LatencyHistogram of the run statistics, so
// they are counted here from the precise times themselves.
//
// Fixed size, O(1) per reply. Not thread-safe; the owner serialises access.
class ResponseDurations {
 public:
  static constexpr int kBuckets = 20;
  static constexpr std::int64_t kFirstBoundMicros = 50;

  // The upper bound of bucket k (inclusive), in microseconds: 50 << k.
  static constexpr std::int64_t BoundMicros(int k) { return kFirstBoundMicros << k; }

  // A reply after `micros` microseconds (negative counts as 0).
  void Add(std::int64_t micros);
  void Clear() { *this = ResponseDurations(); }

  // Replies of at most BoundMicros(k): the cumulative count of bucket k.
  std::uint64_t Cumulative(int k) const { return cumulative_[static_cast<std::size_t>(k)]; }
  std::uint64_t Count() const { return count_; }
  std::int64_t SumMicros() const { return sumMicros_; }
  std::optional<std::int64_t> LastMicros() const { return last_; }

 private:
  std::array<std::uint64_t, kBuckets> cumulative_{};
  std::uint64_t count_ = 0;  // also the +Inf bucket
  std::int64_t sumMicros_ = 0;
  std::optional<std::int64_t> last_;
};

// What the exposition shows for one target.
struct TargetMetrics {
  std::string host;             // the target as typed: the value of the label "host"
  std::uint64_t requests = 0;   // probes that have ended, answered or not
  std::uint64_t responses = 0;  // probes that were answered
  ResponseDurations durations;
  // The RFC 3550 interarrival jitter of the replies in ms; empty before the
  // second reply, when there is no difference yet.
  std::optional<double> jitterMs;
  std::uint64_t corrupted = 0;  // replies with a spoilt payload, counted as lost
  // Probes that could not be made, by reason (a series each, from the first).
  std::vector<std::pair<std::string, std::uint64_t>> errors;
  // Slots of the schedule missed; only a program that keeps one (the agent).
  std::optional<std::uint64_t> missedSlots;
  // The alert rules of the target (canonical text) and whether each is raised.
  std::vector<std::pair<std::string, bool>> alerts;
  // What an engine of our own tells apart (TargetFigures::Late...); only
  // where one ran.
  struct EngineCounts {
    std::uint64_t late = 0;
    std::uint64_t duplicates = 0;
    std::uint64_t sendErrors = 0;
  };
  std::optional<EngineCounts> engine;
};

// The Prometheus text exposition (format 0.0.4) of every target, in the
// order given: for each metric family its HELP and TYPE lines, then one
// series per target with the label host:
//   quorvel_requests_total, quorvel_responses_total         counters
//   quorvel_response_duration_seconds                       histogram
//   quorvel_last_response_seconds, quorvel_jitter_seconds   gauges
// A gauge has no series for a target until it has a value (from the first
// reply, from the second reply). Lines end with LF. Pure; any thread.
std::string FormatMetrics(const std::vector<TargetMetrics>& targets);

// The pieces of the text format every exposition of the program is written
// with: a family's HELP and TYPE lines, and one sample line, its labels
// already written as "{name=\"value\",...}" (or empty).
void AppendMetricFamily(std::string& out, std::string_view name, std::string_view type,
                        std::string_view help);
void AppendMetricSample(std::string& out, std::string_view name, std::string_view labels,
                        std::string_view value);

// The families that account for what was not a plain reply or loss, for a
// program that keeps them (the agent), in the same form:
//   quorvel_corrupted_replies_total                         counter
//   quorvel_probe_errors_total{reason}                      counter
//   quorvel_missed_slots_total                              counter
//   quorvel_alert_active{rule}                              gauge, 0 or 1
// A probe error has a series per reason from its first; missed slots are
// there for a target that has a schedule (missedSlots set); the alert
// family, with its HELP and TYPE, only where some target has a rule.
std::string FormatProbeAccountingMetrics(const std::vector<TargetMetrics>& targets);

// The per-target families of an engine of our own, for the targets whose
// `engine` is set (none: empty text):
//   quorvel_late_replies_total        counter  replies after their probe's deadline
//   quorvel_duplicate_replies_total   counter  further copies of a reply
//   quorvel_send_errors_total         counter  probes the kernel refused to send
std::string FormatEngineTargetMetrics(const std::vector<TargetMetrics>& targets);

// The Content-Type of that text.
inline constexpr std::string_view kMetricsContentType = "text/plain; version=0.0.4";

// A label value with backslash, double quote and line feed escaped as the
// format requires (\\, \", \n); quotes not included.
std::string EscapeLabelValue(std::string_view value);

// A float as Prometheus' own clients write it (Go's shortest 'g' form): the
// shortest text that reads back as the same double, in exponent form when
// the decimal exponent is below -4 or 6 and above ("5e-05", "0.0001",
// "26.2144", "1.5e+06"); "+Inf", "-Inf" and "NaN". The bucket bounds in the
// "le" labels are written this way, so that queries naming them match.
std::string FormatSampleValue(double value);

}  // namespace quorvel
