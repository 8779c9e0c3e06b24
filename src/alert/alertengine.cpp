#include "alert/alertengine.h"

#include <algorithm>
#include <stdexcept>

#include "stats/runstatistics.h"

namespace quorvel {

namespace {

// Round-trip times beyond an hour count as an hour, so that the sums of a
// window stay far from overflow.
constexpr std::int64_t kMaxRttNanos = 3'600'000'000'000;

std::int64_t ClampedNanos(std::chrono::nanoseconds rtt) {
  return std::clamp<std::int64_t>(rtt.count(), 0, kMaxRttNanos);
}

std::string NanosAsMs(double nanos) { return FormatMs(nanos / 1e6); }

// Three decimals, as the times are written.
std::string ThreeDecimals(double value) { return FormatMs(value); }

// A set of positions 0..size-1 in 64-bit words: the probes a pattern has
// looked at, newest at position 0.
class Positions {
 public:
  explicit Positions(std::size_t size) : words_((size + 63) / 64, 0), size_(size) {}

  void Set(std::size_t p) { words_[p / 64] |= std::uint64_t{1} << (p % 64); }
  bool Test(std::size_t p) const { return p < size_ && ((words_[p / 64] >> (p % 64)) & 1) != 0; }
  bool Any() const {
    return std::any_of(words_.begin(), words_.end(), [](std::uint64_t w) { return w != 0; });
  }
  void Clear() { std::fill(words_.begin(), words_.end(), 0); }

  // Every position moves `k` further back; those past the end drop.
  void ShiftBack(std::size_t k) {
    if (k == 0) return;
    const std::size_t wordShift = k / 64;
    const unsigned bitShift = static_cast<unsigned>(k % 64);
    for (std::size_t i = words_.size(); i-- > 0;) {
      std::uint64_t w = 0;
      if (i >= wordShift) {
        w = words_[i - wordShift] << bitShift;
        if (bitShift != 0 && i > wordShift) w |= words_[i - wordShift - 1] >> (64 - bitShift);
      }
      words_[i] = w;
    }
    Trim();
  }
  void And(const Positions& other) {
    for (std::size_t i = 0; i < words_.size(); ++i) words_[i] &= other.words_[i];
  }
  void Or(const Positions& other) {
    for (std::size_t i = 0; i < words_.size(); ++i) words_[i] |= other.words_[i];
  }
  // Adds every position up to `k` further back than one already set.
  void Widen(std::size_t k) {
    std::size_t covered = 1;  // the shifts 0..covered-1 are in
    while (covered <= k) {
      const std::size_t step = std::min(covered, k + 1 - covered);
      Positions shifted = *this;
      shifted.ShiftBack(step);
      Or(shifted);
      covered += step;
    }
  }

 private:
  void Trim() {
    if (size_ % 64 != 0) words_.back() &= (std::uint64_t{1} << (size_ % 64)) - 1;
  }
  std::vector<std::uint64_t> words_;
  std::size_t size_;
};

bool Compare(std::int64_t a, PatternEntry::Op op, std::int64_t b) {
  switch (op) {
    case PatternEntry::Op::Eq: return a == b;
    case PatternEntry::Op::Ne: return a != b;
    case PatternEntry::Op::Lt: return a < b;
    case PatternEntry::Op::Gt: return a > b;
    case PatternEntry::Op::Le: return a <= b;
    case PatternEntry::Op::Ge: return a >= b;
  }
  return false;
}

bool Matches(const PatternEntry& e, const ProbeOutcome& probe) {
  using Type = PatternEntry::Type;
  switch (e.type) {
    case Type::Loss: return Compare(probe.rtt ? 0 : 100'000, e.op, e.value);
    case Type::Latency: return probe.rtt && Compare(ClampedNanos(*probe.rtt), e.op, e.value);
    case Type::Any: return true;
    case Type::Unknown: return (e.op == PatternEntry::Op::Eq) == !probe.rtt;
    case Type::Start:
    case Type::Skip: return false;
  }
  return false;
}

}  // namespace

// One rule's detector and its alert. Only the parts of its kind are used.
class AlertEngine::RuleState {
 public:
  explicit RuleState(AlertRule rule) : rule_(std::move(rule)), text_(AlertRuleText(rule_)) {
    const std::uint32_t span = AlertRuleSpan(rule_);
    switch (rule_.kind) {
      case AlertKind::LostInRow: break;
      case AlertKind::LossWindow: lostRing_.assign(span, false); break;
      case AlertKind::Latency:
        latencyRing_.assign(span, 0);
        if (rule_.statistic != LatencyStatistic::Average) sorted_.reserve(span);
        break;
      case AlertKind::Pattern:
        lostRing_.assign(span, false);
        for (const PatternEntry& e : rule_.pattern) {
          if (e.type != PatternEntry::Type::Skip && e.type != PatternEntry::Type::Start) {
            masks_.emplace_back(span + 1);
          }
        }
        break;
    }
  }

  const AlertRule& Rule() const { return rule_; }
  const std::string& Text() const { return text_; }
  bool Active() const { return active_; }
  std::int64_t Since() const { return since_; }

  void Reset() { *this = RuleState(std::move(rule_)); }

  // Takes a probe and moves the alert's edge; true with `raised` set when
  // it raised or cleared.
  bool Add(const ProbeOutcome& probe, bool& raised) {
    const bool holds = Take(probe);
    if (!active_) {
      if (!holds) return false;
      active_ = true;
      since_ = probe.unixMs;
      notHolding_ = 0;
      raised = true;
      return true;
    }
    if (holds) {
      notHolding_ = 0;
      return false;
    }
    if (++notHolding_ < rule_.clearAfter) return false;
    active_ = false;
    raised = false;
    return true;
  }

  AlertFigures Figures() const {
    switch (rule_.kind) {
      case AlertKind::LostInRow:
        return {std::to_string(lostRun_), std::to_string(lostRun_) + " lost in a row"};
      case AlertKind::LossWindow: {
        const std::uint32_t m = rule_.count;
        const std::string percent = ThreeDecimals(100.0 * static_cast<double>(lostInRing_) / m);
        return {percent, std::to_string(lostInRing_) + " of the last " + std::to_string(m) +
                             " probes lost (" + percent + " %)"};
      }
      case AlertKind::Latency: {
        if (filled_ == 0) return {"", "no reply yet"};
        const char* name = rule_.statistic == LatencyStatistic::Average ? "mean"
                           : rule_.statistic == LatencyStatistic::Median ? "median" : "p95";
        const std::string ms = NanosAsMs(Statistic());
        return {ms, std::string(name) + " of the last " + std::to_string(filled_) + " replies " + ms + " ms"};
      }
      case AlertKind::Pattern: {
        const std::size_t seen = std::min<std::uint64_t>(probes_, lostRing_.size());
        return {std::to_string(lostInRing_),
                std::to_string(lostInRing_) + " of the last " + std::to_string(seen) + " probes lost"};
      }
    }
    return {};
  }

 private:
  // Takes a probe into the detector; whether the rule holds now.
  bool Take(const ProbeOutcome& probe) {
    const bool lost = !probe.rtt;
    switch (rule_.kind) {
      case AlertKind::LostInRow:
        lostRun_ = lost ? lostRun_ + 1 : 0;
        return lostRun_ >= rule_.count;
      case AlertKind::LossWindow:
        PushLost(lost);
        // The probes not made yet count as answered: lost / M >= X %.
        return static_cast<std::int64_t>(lostInRing_) * 100'000 >= rule_.lossThousandths * rule_.count;
      case AlertKind::Latency:
        if (!lost) PushReply(ClampedNanos(*probe.rtt));
        return filled_ == rule_.count &&
               (rule_.statistic == LatencyStatistic::Average
                    ? sum_ >= rule_.threshold.count() * static_cast<std::int64_t>(rule_.count)
                    : Statistic() >= static_cast<double>(rule_.threshold.count()));
      case AlertKind::Pattern:
        PushLost(lost);
        return TakePattern(probe);
    }
    return false;
  }

  void PushLost(bool lost) {
    if (lostRing_[next_]) --lostInRing_;
    lostRing_[next_] = lost;
    if (lost) ++lostInRing_;
    next_ = (next_ + 1) % lostRing_.size();
  }

  void PushReply(std::int64_t nanos) {
    const std::size_t m = latencyRing_.size();
    if (filled_ == m) {
      const std::int64_t old = latencyRing_[next_];
      sum_ -= old;
      if (rule_.statistic != LatencyStatistic::Average) sorted_.erase(std::lower_bound(sorted_.begin(), sorted_.end(), old));
    } else {
      ++filled_;
    }
    latencyRing_[next_] = nanos;
    sum_ += nanos;
    if (rule_.statistic != LatencyStatistic::Average) {
      sorted_.insert(std::upper_bound(sorted_.begin(), sorted_.end(), nanos), nanos);
    }
    next_ = (next_ + 1) % m;
  }

  // The statistic over the replies in the window, in nanoseconds; nearest
  // rank for the median (the lower middle of an even count) and p95.
  double Statistic() const {
    if (rule_.statistic == LatencyStatistic::Average) return static_cast<double>(sum_) / static_cast<double>(filled_);
    const std::size_t n = sorted_.size();
    const std::size_t rank = rule_.statistic == LatencyStatistic::Median ? (n + 1) / 2 : (95 * n + 99) / 100;
    return static_cast<double>(sorted_[rank - 1]);
  }

  // The pattern is matched from its newest entry back: `reach` holds the
  // positions (0 the newest probe) at which the entry before could look.
  // Each comparison keeps its own positions of matching probes, moved back
  // one at every probe, so a match costs a few word operations per entry.
  bool TakePattern(const ProbeOutcome& probe) {
    if (probes_ <= lostRing_.size()) ++probes_;  // beyond the span it no longer matters
    std::size_t m = 0;
    for (const PatternEntry& e : rule_.pattern) {
      if (e.type == PatternEntry::Type::Skip || e.type == PatternEntry::Type::Start) continue;
      masks_[m].ShiftBack(1);
      if (Matches(e, probe)) masks_[m].Set(0);
      ++m;
    }
    Positions reach(lostRing_.size() + 1);
    reach.Set(0);
    for (std::size_t i = rule_.pattern.size(); i-- > 0;) {
      const PatternEntry& e = rule_.pattern[i];
      if (e.type == PatternEntry::Type::Start) return reach.Test(probes_);
      if (e.type == PatternEntry::Type::Skip) {
        reach.Widen(static_cast<std::size_t>(e.value));
        continue;
      }
      reach.And(masks_[--m]);
      if (!reach.Any()) return false;
      reach.ShiftBack(1);
    }
    return true;
  }

  AlertRule rule_;
  std::string text_;
  bool active_ = false;
  std::int64_t since_ = 0;
  std::uint32_t notHolding_ = 0;

  std::uint64_t lostRun_ = 0;          // LostInRow
  std::vector<bool> lostRing_;         // LossWindow, Pattern: the last M (span) probes
  std::uint32_t lostInRing_ = 0;
  std::size_t next_ = 0;               // the ring's oldest slot
  std::vector<std::int64_t> latencyRing_;  // Latency: the last M replies
  std::vector<std::int64_t> sorted_;       // ... in order, for median and p95
  std::size_t filled_ = 0;
  std::int64_t sum_ = 0;
  std::uint64_t probes_ = 0;           // Pattern: probes of the run, up to span + 1
  std::vector<Positions> masks_;       // Pattern: per comparison, its matching probes
};

const char* AlertEventTypeName(AlertEvent::Type type) {
  return type == AlertEvent::Type::Raised ? "raised" : "cleared";
}

std::string AlertEventLine(const AlertEvent& event) {
  return std::string("quorvel: alert ") + AlertEventTypeName(event.type) + ": " + event.target + " " +
         event.rule + ": " + event.figures.description;
}

AlertEngine::AlertEngine(std::string target, std::vector<AlertRule> rules) : target_(std::move(target)) {
  for (AlertRule& rule : rules) rules_.push_back(std::make_unique<RuleState>(std::move(rule)));
}

AlertEngine::~AlertEngine() = default;
AlertEngine::AlertEngine(AlertEngine&&) noexcept = default;
AlertEngine& AlertEngine::operator=(AlertEngine&&) noexcept = default;

std::vector<AlertEvent> AlertEngine::Add(const ProbeOutcome& probe) {
  std::vector<AlertEvent> events;
  for (std::size_t i = 0; i < rules_.size(); ++i) {
    bool raised = false;
    if (!rules_[i]->Add(probe, raised)) continue;
    events.push_back({raised ? AlertEvent::Type::Raised : AlertEvent::Type::Cleared, probe.unixMs,
                      probe.utcOffsetSeconds, target_,
                      rules_[i]->Text(), i, rules_[i]->Figures()});
  }
  return events;
}

void AlertEngine::Reset() {
  for (auto& rule : rules_) rule->Reset();
}

std::size_t AlertEngine::RuleCount() const { return rules_.size(); }
const AlertRule& AlertEngine::Rule(std::size_t index) const { return rules_.at(index)->Rule(); }
const std::string& AlertEngine::RuleText(std::size_t index) const { return rules_.at(index)->Text(); }
bool AlertEngine::IsActive(std::size_t index) const { return rules_.at(index)->Active(); }

std::vector<ActiveAlert> AlertEngine::Active() const {
  std::vector<ActiveAlert> active;
  for (std::size_t i = 0; i < rules_.size(); ++i) {
    if (rules_[i]->Active()) active.push_back({rules_[i]->Text(), i, rules_[i]->Since(), rules_[i]->Figures()});
  }
  return active;
}

}  // namespace quorvel
