#include "agent/enginemetrics.h"

namespace quorvel {

std::string FormatEngineMetrics(const EngineFigures& engine, const std::vector<TargetMetrics>& targets) {
  std::string out;
  AppendMetricFamily(out, "quorvel_engine_info", "gauge",
                     "The engine that probes: its sockets and where its timestamps come from.");
  AppendMetricSample(out, "quorvel_engine_info",
                     "{engine=\"" + EscapeLabelValue(engine.engine) + "\",socket=\"" +
                         EscapeLabelValue(engine.socket) + "\",timestamps=\"" +
                         EscapeLabelValue(engine.timestamps) + "\"}",
                     "1");
  out += FormatEngineTargetMetrics(targets);
  if (!engine.counters) return out;
  const icmp::EchoCounters& c = *engine.counters;
  AppendMetricFamily(out, "quorvel_icmp_dropped_packets_total", "counter",
                     "Packets read or lost by the ICMP engine that answered no probe of this run, by reason.");
  const std::pair<const char*, std::uint64_t> dropped[] = {
      {"mismatched", c.invalid}, {"foreign", c.foreign}, {"stale", c.stale}, {"overrun", c.overruns}};
  for (const auto& [reason, count] : dropped) {
    AppendMetricSample(out, "quorvel_icmp_dropped_packets_total", std::string("{reason=\"") + reason + "\"}",
                       std::to_string(count));
  }
  AppendMetricFamily(out, "quorvel_icmp_skipped_slots_total", "counter",
                     "Slots of the ICMP engine's schedule it was too late for, over every target.");
  AppendMetricSample(out, "quorvel_icmp_skipped_slots_total", "", std::to_string(c.skipped));
  return out;
}

}  // namespace quorvel
