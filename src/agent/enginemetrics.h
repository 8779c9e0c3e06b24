#pragma once

#include <string>
#include <vector>

#include "agent/agent.h"
#include "stats/prometheus.h"

namespace quorvel {

// The agent's exposition of its engine, in the form of FormatMetrics:
//   quorvel_engine_info{engine,socket,timestamps}  gauge, 1: which engine ran
//   quorvel_late_replies_total, quorvel_duplicate_replies_total,
//   quorvel_send_errors_total                      per target (ICMP engine only)
//   quorvel_icmp_dropped_packets_total{reason}     counter over every target:
//     "mismatched" (ours by identifier, but no probe of this run: a bad tag,
//     the wrong source, an unknown sequence), "foreign" (another program's,
//     on a raw socket), "stale" (older than the late window), "overrun"
//     (dropped by the kernel: the receive buffer was full)
//   quorvel_icmp_skipped_slots_total               counter: slots the loop was too late for
// The ICMP families only when the ICMP engine ran. Pure; any thread.
std::string FormatEngineMetrics(const EngineFigures& engine, const std::vector<TargetMetrics>& targets);

}  // namespace quorvel
