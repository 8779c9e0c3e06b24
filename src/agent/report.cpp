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

// Cuts to at most `limit` bytes without splitting a UTF-8 sequence.
std::string Cut(const std::string& line, std::size_t limit) {
  if (line.size() <= limit) return line;
  std::size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(line[end]) & 0xC0) == 0x80) --end;
  return line.substr(0, end);
}

}  // namespace

std::string ReportLine(const std::string& target, const StatisticsSummary& s) {
  return target + " sent=" + std::to_string(s.sent) + " received=" + std::to_string(s.received) +
         " loss=" + Percent(s) + " min=" + TimeOrDash(s, s.minMs) + " avg=" +
         TimeOrDash(s, s.meanMs) + " p50=" + TimeOrDash(s, s.p50Ms) + " p95=" +
         TimeOrDash(s, s.p95Ms) + " p99=" + TimeOrDash(s, s.p99Ms) + " max=" +
         TimeOrDash(s, s.maxMs) + " jitter=" + JitterOrDash(s);
}

int AnsweredExitStatus(const std::vector<StatisticsSummary>& summaries) {
  if (summaries.empty()) return 1;
  for (const StatisticsSummary& s : summaries) {
    if (s.received == 0) return 1;
  }
  return 0;
}

std::string LiveLine(const std::string& target, std::size_t width, const LastProbe& last,
                     const StatisticsSummary& s) {
  std::string line = target;
  if (line.size() < width) line.append(width - line.size(), ' ');
  std::string lastText = "-";
  if (last.any) lastText = last.micros ? FormatMicrosAsMs(*last.micros) : "lost";
  line += "  last=" + lastText + "  loss=" + Percent(s) + "  avg=" + TimeOrDash(s, s.meanMs) +
          "  p95=" + TimeOrDash(s, s.p95Ms) + "  jitter=" + JitterOrDash(s);
  return line;
}

std::string LiveFrame(const std::vector<std::string>& lines, std::size_t previous,
                      std::size_t columns, std::size_t rows, std::size_t& drawn) {
  const std::size_t width = columns > 1 ? columns - 1 : 1;
  std::vector<std::string> shown;
  if (rows >= 3 && lines.size() > rows - 1) {
    shown.assign(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(rows - 2));
    shown.push_back("... and " + std::to_string(lines.size() - shown.size()) + " more targets");
  } else {
    shown = lines;
  }
  std::string out;
  if (previous > 0) out += "\r\x1b[" + std::to_string(previous) + "A";
  for (const std::string& line : shown) {
    out += "\x1b[2K";
    out += Cut(line, width);
    out += '\n';
  }
  // Lines left over from a taller block are cleared too.
  for (std::size_t i = shown.size(); i < previous; ++i) out += "\x1b[2K\n";
  const std::size_t total = std::max(shown.size(), previous);
  if (total > shown.size()) out += "\x1b[" + std::to_string(total - shown.size()) + "A";
  drawn = shown.size();
  return out;
}

std::string ClearLiveFrame(std::size_t previous) {
  if (previous == 0) return {};
  std::string out = "\r\x1b[" + std::to_string(previous) + "A";
  for (std::size_t i = 0; i < previous; ++i) out += "\x1b[2K\n";
  out += "\x1b[" + std::to_string(previous) + "A";
  return out;
}

}  // namespace quorvel
