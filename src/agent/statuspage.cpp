#include "agent/statuspage.h"

#include <algorithm>
#include <cstdio>

#include "base/text.h"
#include "stats/isotime.h"
#include "stats/targetfigures.h"

namespace quorvel {

namespace {

constexpr int kBarStep = 3;  // px per probe
constexpr int kBarWidth = 2;
constexpr int kHeight = 24;

std::string Ms(bool valid, double ms) { return valid ? FormatMs(ms) + " ms" : "-"; }

std::string Cell(const std::string& html, const char* cls = nullptr) {
  return cls ? "<td class=\"" + std::string(cls) + "\">" + html + "</td>" : "<td>" + html + "</td>";
}

// "12:00:01" of an instant, in the page's offset.
std::string ClockTime(std::int64_t unixMs, std::int32_t offset) {
  const std::string iso = FormatIsoLocal(unixMs, offset);  // 2024-12-08T15:05:09.123+01:00
  return iso.size() >= 19 ? iso.substr(11, 8) : iso;
}

std::string AlertsCell(const TargetSnapshot& s, std::int32_t offset) {
  if (s.alerts.empty()) return "-";
  std::string html;
  for (const AlertState& a : s.alerts) {
    if (!html.empty()) html += "<br>";
    if (a.active) {
      html += "<span class=\"raised\">" + EscapeHtml(a.rule) + " raised at " + ClockTime(a.sinceUnixMs, offset) +
              ": " + EscapeHtml(a.description) + "</span>";
    } else {
      html += "<span class=\"ok\">" + EscapeHtml(a.rule) + ": clear</span>";
    }
  }
  return html;
}

std::string LastCell(const LastProbe& last) {
  if (!last.any) return "-";
  if (!last.error.empty()) return "<span class=\"raised\">error</span>";
  return last.micros ? FormatMicrosAsMs(*last.micros) + " ms" : "<span class=\"raised\">lost</span>";
}

std::string ErrorsCell(const TargetSnapshot& s) {
  if (s.errorCount == 0) return "0";
  std::string reasons;
  for (const auto& [reason, count] : s.errors) {
    reasons += (reasons.empty() ? "" : ", ") + reason + ": " + std::to_string(count);
  }
  return "<span title=\"" + EscapeHtml(reasons) + "\">" + std::to_string(s.errorCount) + "</span>";
}

// "2024-12-08 15:05:09": the local time of the page.
std::string Stamp(const LocalTime& now) {
  std::string iso = FormatIsoLocal(now.unixMs, now.utcOffsetSeconds).substr(0, 19);
  if (iso.size() > 10) iso[10] = ' ';
  return iso;
}

}  // namespace


int StatusPageRefreshSeconds(std::chrono::milliseconds interval) {
  const auto seconds = (interval.count() + 999) / 1000;
  return static_cast<int>(std::clamp<std::int64_t>(seconds, 1, 60));
}

std::string SparklineSvg(const std::vector<std::optional<std::int64_t>>& recent) {
  std::int64_t longest = 0, shortest = -1;
  std::size_t lost = 0;
  for (const auto& r : recent) {
    if (!r) {
      ++lost;
      continue;
    }
    longest = std::max(longest, *r);
    shortest = shortest < 0 ? *r : std::min(shortest, *r);
  }
  // A fixed width for as many probes as the figures keep, the newest at
  // the right, so that the column does not grow with the first probes.
  const std::size_t slots = std::max(recent.size(), TargetFigures::kRecent);
  const int width = static_cast<int>(slots) * kBarStep;
  const int first = static_cast<int>(slots - recent.size());
  std::string title = "last " + std::to_string(recent.size()) + " probes: " + std::to_string(lost) + " lost";
  if (shortest >= 0) title += ", replies " + FormatMicrosAsMs(shortest) + " to " + FormatMicrosAsMs(longest) + " ms";
  std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"spark\" width=\"" + std::to_string(width) +
                    "\" height=\"" + std::to_string(kHeight) + "\" viewBox=\"0 0 " + std::to_string(width) + " " +
                    std::to_string(kHeight) + "\" role=\"img\" aria-label=\"" + title + "\"><title>" + title + "</title>";
  for (std::size_t i = 0; i < recent.size(); ++i) {
    int height = kHeight;
    std::string cls = "lost";
    if (recent[i]) {
      // At least a pixel, so that the shortest replies still show.
      const double share = longest > 0 ? static_cast<double>(*recent[i]) / static_cast<double>(longest) : 1.0;
      height = std::max(1, static_cast<int>(share * (kHeight - 2) + 0.5));
      cls = "reply";
    }
    svg += "<rect class=\"" + cls + "\" x=\"" + std::to_string((first + static_cast<int>(i)) * kBarStep) + "\" y=\"" +
           std::to_string(kHeight - height) + "\" width=\"" + std::to_string(kBarWidth) + "\" height=\"" +
           std::to_string(height) + "\"/>";
  }
  return svg + "</svg>";
}

std::string AgentStatusPage(const std::vector<TargetSnapshot>& targets, const StatusPageContext& context) {
  std::size_t raised = 0;
  for (const TargetSnapshot& t : targets) {
    raised += static_cast<std::size_t>(std::count_if(t.alerts.begin(), t.alerts.end(),
                                                     [](const AlertState& a) { return a.active; }));
  }
  const int refresh = StatusPageRefreshSeconds(context.interval);
  const std::string count = std::to_string(targets.size()) + (targets.size() == 1 ? " target" : " targets");
  const std::string alerts = std::to_string(raised) + (raised == 1 ? " alert raised" : " alerts raised");
  char interval[32];
  std::snprintf(interval, sizeof interval, "%g", static_cast<double>(context.interval.count()) / 1000.0);

  std::string html =
      "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
      "<meta http-equiv=\"refresh\" content=\"" + std::to_string(refresh) + "\">"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
      "<title>quorvel-agent: " + count + ", " + alerts + "</title><style>"
      "body{font:14px/1.4 sans-serif;margin:1em 1.2em;color:#222;background:#fff}"
      "h1{font-size:1.4em;margin:0 0 .2em}"
      "table{border-collapse:collapse;margin-top:1em}"
      "th,td{padding:.3em .5em;border-bottom:1px solid #ddd;text-align:right;white-space:nowrap}"
      "th{background:#f2f2f2}"
      ".t{text-align:left}"
      "td.alerts{white-space:normal;min-width:12em}"
      "tr.alerting td{background:#fdecea}"
      ".raised{color:#b00020;font-weight:bold}"
      ".ok{color:#2e7d32}"
      "rect.reply{fill:#2f6fb0}rect.lost{fill:#d32f2f}"
      ".spark{vertical-align:middle;background:#f7f7f7}"
      "</style></head><body>\n"
      "<h1>quorvel-agent</h1>\n<p>" + count + ", a probe every " + interval + " s, timeout " +
      std::to_string(context.timeoutMs) + " ms; <span class=\"" + (raised ? "raised" : "ok") + "\">" + alerts +
      "</span>. Updated " + Stamp(context.now) +
      "; this page reloads every " + std::to_string(refresh) + " s. <a href=\"/metrics\">Metrics</a></p>\n"
      "<table><thead><tr><th class=\"t\">Target</th><th class=\"t\">Last probes</th><th>Sent</th><th>Lost</th>"
      "<th>Loss</th><th>Last</th><th>Avg</th><th>p95</th><th>Jitter</th><th>Missed</th><th>Errors</th>"
      "<th class=\"t\">Alerts</th></tr></thead>\n<tbody>\n";
  for (const TargetSnapshot& t : targets) {
    const StatisticsSummary& s = t.summary;
    const bool alerting = std::any_of(t.alerts.begin(), t.alerts.end(), [](const AlertState& a) { return a.active; });
    char loss[32] = "-";
    if (s.sent > 0) std::snprintf(loss, sizeof loss, "%.3f %%", s.lossPercent);
    html += alerting ? "<tr class=\"alerting\">" : "<tr>";
    html += Cell(EscapeHtml(t.target), "t") + Cell(SparklineSvg(t.recent), "t") + Cell(std::to_string(s.sent)) +
            Cell(std::to_string(s.lost)) + Cell(loss) + Cell(LastCell(t.last)) +
            Cell(Ms(s.received > 0, s.meanMs)) + Cell(Ms(s.received > 0, s.p95Ms)) +
            Cell(Ms(s.received > 1, s.jitterMs)) + Cell(std::to_string(t.missedSlots)) + Cell(ErrorsCell(t)) +
            Cell(AlertsCell(t, context.now.utcOffsetSeconds), "t alerts") + "</tr>\n";
  }
  html += "</tbody></table>\n</body></html>\n";
  return html;
}

}  // namespace quorvel
