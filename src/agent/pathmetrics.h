#pragma once

#include <string>
#include <vector>

#include "icmp/pathprober.h"

namespace quorvel {

// The exposition of --path, in the form of FormatMetrics: per hop, with the
// labels host (the target as typed, `hosts[i]` for `paths[i]`), hop (from
// 1) and address (the last to answer there; empty while none has):
//   quorvel_hop_requests_total, quorvel_hop_responses_total   counters
//   quorvel_hop_response_duration_seconds                    summary (0.5, 0.95; sum, count)
//   quorvel_hop_last_response_seconds, quorvel_hop_jitter_seconds  gauges, once they exist
// and per target quorvel_path_changes_total{host}: rounds in which a hop's
// address (or the distance) changed. Pure; any thread.
std::string FormatPathMetrics(const std::vector<icmp::PathSnapshot>& paths, const std::vector<std::string>& hosts);

}  // namespace quorvel
