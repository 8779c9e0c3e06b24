#include "agent/pathmetrics.h"

#include "stats/prometheus.h"

namespace quorvel {

namespace {

std::string HopLabels(const std::string& host, const icmp::HopFigures& h) {
  return "{host=\"" + EscapeLabelValue(host) + "\",hop=\"" + std::to_string(h.hop) + "\",address=\"" +
         (h.seen.empty() ? std::string() : EscapeLabelValue(h.address.to_string())) + "\"";
}

}  // namespace

std::string FormatPathMetrics(const std::vector<icmp::PathSnapshot>& paths, const std::vector<std::string>& hosts) {
  std::string out;
  // Each family walks every hop of every path, its labels built once.
  std::vector<std::pair<std::string, const icmp::HopFigures*>> hops;
  for (std::size_t i = 0; i < paths.size() && i < hosts.size(); ++i) {
    for (const icmp::HopFigures& h : paths[i].hops) hops.emplace_back(HopLabels(hosts[i], h), &h);
  }
  AppendMetricFamily(out, "quorvel_hop_requests_total", "counter", "Probes to a hop of the path that have ended.");
  for (const auto& [labels, h] : hops) {
    AppendMetricSample(out, "quorvel_hop_requests_total", labels + "}", std::to_string(h->figures.sent));
  }
  AppendMetricFamily(out, "quorvel_hop_responses_total", "counter", "Probes to a hop of the path that were answered.");
  for (const auto& [labels, h] : hops) {
    AppendMetricSample(out, "quorvel_hop_responses_total", labels + "}", std::to_string(h->figures.received));
  }
  AppendMetricFamily(out, "quorvel_hop_response_duration_seconds", "summary",
                     "Round-trip times to a hop of the path, in seconds.");
  for (const auto& [labels, h] : hops) {
    const StatisticsSummary& s = h->figures;
    if (s.received > 0) {
      AppendMetricSample(out, "quorvel_hop_response_duration_seconds", labels + ",quantile=\"0.5\"}",
                         FormatSampleValue(s.p50Ms / 1000));
      AppendMetricSample(out, "quorvel_hop_response_duration_seconds", labels + ",quantile=\"0.95\"}",
                         FormatSampleValue(s.p95Ms / 1000));
    }
    AppendMetricSample(out, "quorvel_hop_response_duration_seconds_sum", labels + "}",
                       FormatSampleValue(s.meanMs * static_cast<double>(s.received) / 1000));
    AppendMetricSample(out, "quorvel_hop_response_duration_seconds_count", labels + "}", std::to_string(s.received));
  }
  AppendMetricFamily(out, "quorvel_hop_last_response_seconds", "gauge",
                     "Round-trip time of the last answer from a hop of the path, in seconds.");
  for (const auto& [labels, h] : hops) {
    if (h->lastNs) {
      AppendMetricSample(out, "quorvel_hop_last_response_seconds", labels + "}",
                         FormatSampleValue(static_cast<double>(*h->lastNs) / 1e9));
    }
  }
  AppendMetricFamily(out, "quorvel_hop_jitter_seconds", "gauge",
                     "Interarrival jitter of the round-trip times to a hop of the path (RFC 3550), in seconds.");
  for (const auto& [labels, h] : hops) {
    if (h->figures.received > 1) {
      AppendMetricSample(out, "quorvel_hop_jitter_seconds", labels + "}", FormatSampleValue(h->figures.jitterMs / 1000));
    }
  }
  AppendMetricFamily(out, "quorvel_path_changes_total", "counter",
                     "Rounds in which the address of a hop of the path, or its length, changed.");
  for (std::size_t i = 0; i < paths.size() && i < hosts.size(); ++i) {
    AppendMetricSample(out, "quorvel_path_changes_total", "{host=\"" + EscapeLabelValue(hosts[i]) + "\"}",
                       std::to_string(paths[i].pathChanges));
  }
  return out;
}

}  // namespace quorvel
