#include "agent/report.h"

#include <algorithm>
#include <cstdio>

#include "graph/sampleexport.h"

namespace quorvel {

namespace {

std::string Percent(const StatisticsSummary& s) {
  if (s.sent == 0) return "-";
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.3f%%", s.lossPercent);
  return buffer;
}

std::string TimeOrDash(const StatisticsSummary& s, double ms) {
  return s.received > 0 ? FormatMs(ms) : "-";
}

std::string JitterOrDash(const StatisticsSummary& s) {
  return s.received > 1 ? FormatMs(s.jitterMs) : "-";
}


}  // namespace

std::string ReportLine(const std::string& target, const StatisticsSummary& s) {
  return target + " sent=" + std::to_string(s.sent) + " received=" + std::to_string(s.received) +
         " loss=" + Percent(s) + " min=" + TimeOrDash(s, s.minMs) + " avg=" +
         TimeOrDash(s, s.meanMs) + " p50=" + TimeOrDash(s, s.p50Ms) + " p95=" +
         TimeOrDash(s, s.p95Ms) + " p99=" + TimeOrDash(s, s.p99Ms) + " max=" +
         TimeOrDash(s, s.maxMs) + " jitter=" + JitterOrDash(s);
}

std::string ReportLine(const TargetSnapshot& s) {
  std::string line = ReportLine(s.target, s.summary);
  if (s.corrupted > 0) line += " corrupted=" + std::to_string(s.corrupted);
  if (s.missedSlots > 0) line += " missed=" + std::to_string(s.missedSlots);
  if (s.errorCount > 0) {
    line += " errors=" + std::to_string(s.errorCount) + " (";
    bool first = true;
    for (const auto& [reason, count] : s.errors) {
      if (!first) line += ", ";
      first = false;
      line += reason + ": " + std::to_string(count);
    }
    line += ')';
  }
  return line;
}

int ExitStatus(const std::vector<TargetSnapshot>& targets) {
  std::uint64_t sent = 0, failed = 0;
  bool silent = targets.empty(), unresolved = false;
  for (const TargetSnapshot& t : targets) {
    sent += t.summary.sent;
    failed += t.errorCount - t.unknownHost;
    if (t.summary.received == 0) {
      silent = true;
      unresolved = unresolved || t.unknownHost > 0;
    }
  }
  if (sent == 0 && failed > 0) return kExitNothingProbed;
  if (unresolved) return kExitUnknownHost;
  return silent ? 1 : 0;
}

std::string LiveLine(const std::string& target, std::size_t width, const LastProbe& last,
                     const StatisticsSummary& s) {
  std::string line = target;
  if (line.size() < width) line.append(width - line.size(), ' ');
  // Units after every figure that has one: a live line is read, not parsed.
  const auto ms = [](const std::string& text) { return text == "-" ? text : text + " ms"; };
  std::string lastText = "-";
  if (last.any) lastText = !last.error.empty() ? "error" : last.micros ? ms(FormatMicrosAsMs(*last.micros)) : "lost";
  std::string loss = Percent(s);
  if (s.sent > 0) loss.insert(loss.size() - 1, " ");
  line += "  last=" + lastText + "  loss=" + loss + "  avg=" + ms(TimeOrDash(s, s.meanMs)) +
          "  p95=" + ms(TimeOrDash(s, s.p95Ms)) + "  jitter=" + ms(JitterOrDash(s));
  return line;
}

std::string LiveLine(const TargetSnapshot& s, std::size_t width) {
  std::string line = LiveLine(s.target, width, s.last, s.summary);
  if (s.missedSlots > 0) line += "  missed=" + std::to_string(s.missedSlots);
  if (s.errorCount > 0) line += "  errors=" + std::to_string(s.errorCount);
  return line;
}

std::uint64_t RecentCount::Update(std::uint64_t total, std::chrono::steady_clock::time_point now) {
  seen_.emplace_back(now, total);
  // The oldest entry kept is the last one at least a span old.
  while (seen_.size() > 1 && now - seen_[1].first >= span_) seen_.pop_front();
  return total - seen_.front().second;
}

std::string BehindLine(std::uint64_t missed, std::chrono::seconds span) {
  if (missed == 0) return {};
  return "behind schedule: " + std::to_string(missed) + " slot" + (missed == 1 ? "" : "s") +
         " missed in the last " + std::to_string(span.count()) + " s";
}

}  // namespace quorvel
