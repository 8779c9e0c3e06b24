#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "stats/runstatistics.h"

namespace quorvel {

// The closing line of one target, times in ms with three decimals and loss in
// percent with three decimals:
//   TARGET sent=N received=N loss=P% min=X avg=X p50=X p95=X p99=X max=X jitter=X
// A time is "-" when no reply came; jitter is "-" before the second reply (it
// is a difference of two replies), loss is "-" (without "%") when nothing was
// sent. No line break at the end.
std::string ReportLine(const std::string& target, const StatisticsSummary& s);

// What the live line of a target shows about its last probe.
struct LastProbe {
  bool any = false;                   // false before the first probe has ended
  std::optional<std::int64_t> micros;  // empty: it was lost
  std::string error;                  // it could not be made, for this reason
};

// One alert rule of a target at a moment.
struct AlertState {
  std::string rule;         // its canonical text
  bool active = false;      // raised and not yet cleared
  std::int64_t sinceUnixMs = 0;  // active: the probe that raised it
  std::string description;  // active: its figures at the latest probe
};

// What the agent knows of one target at a moment.
struct TargetSnapshot {
  std::string target;
  StatisticsSummary summary;
  LastProbe last;
  std::uint64_t corrupted = 0;    // of the lost, answers with a spoilt payload
  std::uint64_t missedSlots = 0;  // slots of the schedule at which no probe began
  std::map<std::string, std::uint64_t> errors;  // probes that could not be made, by reason
  std::uint64_t errorCount = 0;
  std::uint64_t unknownHost = 0;  // of those, the name did not resolve
  // The last probes, oldest first (empty: lost); only when asked for.
  std::vector<std::optional<std::int64_t>> recent;
  std::vector<AlertState> alerts;  // one per --alert rule, in their order
};

// ReportLine of the snapshot's figures, followed by what only happened:
//   " corrupted=N" (answers with a spoilt payload, among the lost),
//   " missed=N" (slots of the schedule missed),
//   " errors=N (REASON: n, REASON: n)" (probes that could not be made,
//   neither sent nor lost), each only when not 0.
std::string ReportLine(const TargetSnapshot& s);

// The exit status of a run that wrote every row:
//   4  nothing could be probed at all: no probe was made, and some could
//      not be made for want of the system (a descriptor, a process);
//   5  a target whose name never resolved never answered;
//   1  another target never answered (or there is no target);
//   0  every target answered at least once.
inline constexpr int kExitNothingProbed = 4;
inline constexpr int kExitUnknownHost = 5;
int ExitStatus(const std::vector<TargetSnapshot>& targets);

// The live line of one target, its name padded to `width`, with units:
//   TARGET  last=0.047 ms  loss=0.000 %  avg=0.052 ms  p95=0.061 ms  jitter=0.004 ms
// "last=lost" after a lost probe, "last=error" after one that could not be
// made, "-" for what does not exist yet.
std::string LiveLine(const std::string& target, std::size_t width, const LastProbe& last,
                     const StatisticsSummary& s);
// The same, followed by "  missed=N" and "  errors=N" where not 0.
std::string LiveLine(const TargetSnapshot& s, std::size_t width);

// How much a growing total grew over the last `span`, from the totals seen
// at each call (the slots missed in the last 10 s, from the sum of every
// target's at each redraw). Keeps one entry per call within the span.
class RecentCount {
 public:
  explicit RecentCount(std::chrono::seconds span) : span_(span) {}
  std::uint64_t Update(std::uint64_t total, std::chrono::steady_clock::time_point now);
  std::chrono::seconds Span() const { return span_; }

 private:
  std::chrono::seconds span_;
  std::deque<std::pair<std::chrono::steady_clock::time_point, std::uint64_t>> seen_;
};

// The line above the live lines while the agent is behind its schedule:
// "behind schedule: N slots missed in the last S s", or empty for none.
std::string BehindLine(std::uint64_t missed, std::chrono::seconds span);

}  // namespace quorvel
