#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel {

// One alert rule as the window's settings and the agent's --alert option
// write it (docs/alerts.md is the reference of the text form):
//
//   lost>=3                        3 or more probes lost in a row
//   loss>=5%/100                   5 % or more of the last 100 probes lost
//   avg>=150ms/20                  the mean of the last 20 replies 150 ms or more
//   median>=150ms/20               ... their median (nearest rank)
//   p95>=200ms/50                  ... their 95th percentile (nearest rank)
//   pattern:>0%,*12*,>0%,*12*,>0%  a pattern over the last probes, oldest first
//
// each optionally followed by "clear=N": the alert clears once the rule has
// not held for N probes in a row (default 1).

enum class AlertKind { LostInRow, LossWindow, Latency, Pattern };
enum class LatencyStatistic { Average, Median, P95 };

// One entry of a pattern. A comparison looks at one probe: a value with "%"
// compares its loss (0 % answered, 100 % lost), a plain number its
// round-trip time in ms (a lost probe has none, so no number matches it).
struct PatternEntry {
  enum class Type {
    Loss,     // op against `value`, thousandths of a percent
    Latency,  // op against `value`, nanoseconds
    Any,      // "*": any probe
    Unknown,  // "U" with == (lost: no round-trip time) or != (answered)
    Start,    // "==S": the start of the run; only as the first entry
    Skip,     // "*X*": up to `value` probes of any kind
  };
  enum class Op { Eq, Ne, Lt, Gt, Le, Ge };
  Type type = Type::Any;
  Op op = Op::Eq;
  std::int64_t value = 0;

  bool operator==(const PatternEntry&) const = default;
};

struct AlertRule {
  AlertKind kind = AlertKind::LostInRow;
  // LostInRow: N lost in a row. LossWindow and Latency: the window M, in
  // probes (loss) or replies (latency). Pattern: unused.
  std::uint32_t count = 1;
  std::int64_t lossThousandths = 0;  // LossWindow: X % as thousandths of a percent
  LatencyStatistic statistic = LatencyStatistic::Average;
  std::chrono::nanoseconds threshold{0};  // Latency: T
  std::vector<PatternEntry> pattern;      // Pattern: oldest first
  std::uint32_t clearAfter = 1;           // probes not holding before it clears

  bool operator==(const AlertRule&) const = default;
};

// The limits the parser holds rules to; they bound the engine's memory and
// its work per probe.
inline constexpr std::uint32_t kMaxLostInRow = 1'000'000;
inline constexpr std::uint32_t kMaxLossWindow = 10'000;
inline constexpr std::uint32_t kMaxLatencyWindow = 1'000;
inline constexpr std::int64_t kMaxThresholdMs = 3'600'000;
inline constexpr std::size_t kMaxPatternEntries = 64;
inline constexpr std::uint32_t kMaxPatternSpan = 1'024;  // comparisons plus every X of *X*
inline constexpr std::uint32_t kMaxClearAfter = 1'000'000;
inline constexpr std::size_t kMaxRuleLength = 1'000;

struct ParsedAlertRule {
  enum class Status {
    Ok,     // `rule` holds the rule
    Error,  // `error` says what is wrong, in a sentence for the user
  };
  Status status = Status::Error;
  AlertRule rule;
  std::string error;
};

// Reads one rule. Blanks between the words and signs are allowed and
// dropped ("loss >= 5% / 100" is "loss>=5%/100"); words are lower case, U
// and S upper case. Numbers take at most three decimals. Refused, with the
// column and what was expected: an unknown word, a missing or malformed
// number, a number out of its range, a pattern entry that cannot match
// (S other than "==S" at the start, U with an operator other than == and
// !=, "*X*" at the start, two "*X*" in a row), a pattern of more than
// kMaxPatternEntries entries or a span above kMaxPatternSpan, an option
// given twice, and anything after the rule.
ParsedAlertRule ParseAlertRule(std::string_view text);

// The canonical text of a rule: no blanks inside the condition, numbers in
// their shortest form, " clear=N" only when N is not 1. ParseAlertRule reads
// it back as the same rule. It names the rule in events, in the label
// "rule" and in stored settings.
std::string AlertRuleText(const AlertRule& rule);

// The probes the rule looks back over: N, M (at least, for latency: M
// replies), or the longest stretch a pattern can cover.
std::uint32_t AlertRuleSpan(const AlertRule& rule);

// Thousandths as a decimal without trailing zeros: 5000 "5", 2500 "2.5",
// 1 "0.001".
std::string FormatThousandths(std::int64_t thousandths);

}  // namespace quorvel
