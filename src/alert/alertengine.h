#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "alert/alertrule.h"

namespace quorvel {

// One probe of one target, as the engine takes it.
struct ProbeOutcome {
  std::int64_t unixMs = 0;  // when the probe was made
  std::int32_t utcOffsetSeconds = 0;  // the local offset from UTC then
  // The round-trip time; empty for a lost probe. The window's samples and the
  // agent's rows give microseconds: std::chrono::microseconds converts.
  std::optional<std::chrono::nanoseconds> rtt;
};

// The figures of a rule at one probe, in the rule's own unit.
struct AlertFigures {
  std::string value;        // a number: lost in a row, loss %, latency ms, lost in a pattern's span
  std::string description;  // the same for a person: "3 lost in a row"
};

struct AlertEvent {
  enum class Type { Raised, Cleared };
  Type type = Type::Raised;
  std::int64_t unixMs = 0;  // the probe that raised or cleared it
  std::int32_t utcOffsetSeconds = 0;
  std::string target;
  std::string rule;         // AlertRuleText of the rule
  std::size_t ruleIndex = 0;
  AlertFigures figures;     // at that probe
};

struct ActiveAlert {
  std::string rule;  // AlertRuleText
  std::size_t ruleIndex = 0;
  std::int64_t sinceUnixMs = 0;  // the probe that raised it
  AlertFigures figures;          // at the latest probe
};

// "raised" or "cleared".
const char* AlertEventTypeName(AlertEvent::Type type);

// "quorvel: alert raised: 127.0.0.1 lost>=3: 3 lost in a row": one line for
// a log or standard error, without the end of line.
std::string AlertEventLine(const AlertEvent& event);

// The alert rules of one target, fed its probes one at a time in the order
// they were made. Each rule is edge-triggered: its alert is raised at the
// first probe at which the rule holds, and cleared at the probe that makes
// clearAfter probes in a row at which it has not held; nothing in between.
//
// Work per probe is O(1) for lost and loss rules, O(M) for median and p95
// (a sorted copy of the window), O(entries x span / 64) for patterns; memory
// is fixed by the rules (windows of M, a pattern's span) whatever the length
// of the run. Not thread-safe: the owner serialises its calls (the window
// from its own thread, the agent from the target's loop).
class AlertEngine {
 public:
  AlertEngine(std::string target, std::vector<AlertRule> rules);
  ~AlertEngine();
  AlertEngine(AlertEngine&&) noexcept;
  AlertEngine& operator=(AlertEngine&&) noexcept;

  // Takes the next probe; returns the alerts it raised and cleared, in the
  // order of the rules.
  std::vector<AlertEvent> Add(const ProbeOutcome& probe);

  // A new run: every rule forgets its probes and its alert (without a
  // cleared event: the caller that restarts knows). Patterns that begin
  // with ==S look at the probes after this point.
  void Reset();

  const std::string& Target() const { return target_; }
  std::size_t RuleCount() const;
  const AlertRule& Rule(std::size_t index) const;
  const std::string& RuleText(std::size_t index) const;
  bool IsActive(std::size_t index) const;
  // The alerts that are raised now, in the order of the rules.
  std::vector<ActiveAlert> Active() const;

 private:
  class RuleState;
  std::string target_;
  std::vector<std::unique_ptr<RuleState>> rules_;
};

}  // namespace quorvel
