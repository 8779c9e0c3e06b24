#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "agent/report.h"
#include "run/timeformat.h"

namespace quorvel {

// What the status page says besides the targets.
struct StatusPageContext {
  std::chrono::milliseconds interval{1000};
  int timeoutMs = 800;
  LocalTime now;  // when the page was made (its unixMs and offset are used)
};

// The agent's "/" page: one row per target with its figures (sent, lost,
// loss, last, mean, p95, jitter, missed slots, errors), its last probes as
// a small inline SVG (SparklineSvg) and the state of each alert rule, rows
// with a raised alert marked. Plain HTML5 with inline CSS and SVG: no
// script, nothing fetched from elsewhere. It reloads itself (a refresh
// meta element) every StatusPageRefreshSeconds. Every target name and
// every rule is escaped. Pure; any thread.
std::string AgentStatusPage(const std::vector<TargetSnapshot>& targets, const StatusPageContext& context);

// The seconds between two reloads: the interval rounded up, 1 to 60.
int StatusPageRefreshSeconds(std::chrono::milliseconds interval);

// The last probes (oldest first; empty: lost) as an SVG 24 px high and 3 px
// per probe for TargetFigures::kRecent probes, the newest at the right: a
// bar per reply, its height its time against the longest of them, and a red
// bar of full height per lost probe; its title says how many were lost and
// the range of the replies.
std::string SparklineSvg(const std::vector<std::optional<std::int64_t>>& recent);


}  // namespace quorvel
