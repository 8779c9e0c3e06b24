#include "stats/prometheus.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace quorvel {

void ResponseDurations::Add(std::int64_t micros) {
  const std::int64_t v = micros < 0 ? 0 : micros;
  // Counted straight into the cumulative form: every bucket whose bound the
  // reply does not exceed. At most 20 increments, whatever the run's length.
  for (int k = kBuckets - 1; k >= 0 && v <= BoundMicros(k); --k) ++cumulative_[static_cast<std::size_t>(k)];
  ++count_;
  sumMicros_ += v;
  last_ = v;
}

std::string EscapeLabelValue(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (const char c : value) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      case '\n': out += "\\n"; break;
      default: out.push_back(c);
    }
  }
  return out;
}

std::string FormatSampleValue(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "+Inf" : "-Inf";
  char buffer[64];
  const auto scientific = std::to_chars(buffer, buffer + sizeof buffer, value,
                                        std::chars_format::scientific);
  const std::string_view text(buffer, static_cast<std::size_t>(scientific.ptr - buffer));
  const std::size_t e = text.find('e');
  const int exponent = std::atoi(std::string(text.substr(e + 1)).c_str());
  if (exponent < -4 || exponent >= 6) return std::string(text);
  const auto fixed = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
  return std::string(buffer, static_cast<std::size_t>(fixed.ptr - buffer));
}

namespace {

// Seconds from microseconds: exact for the bucket bounds and for sums below
// 2^53 us (about 285 years).
double Seconds(std::int64_t micros) { return static_cast<double>(micros) / 1e6; }

void Family(std::string& out, std::string_view name, std::string_view type, std::string_view help) {
  AppendMetricFamily(out, name, type, help);
}

void Series(std::string& out, std::string_view name, const std::string& hostLabel,
            std::string_view extraLabel, std::string_view value) {
  std::string labels = "{host=\"";
  labels += hostLabel;
  labels += '"';
  labels += extraLabel;
  labels += '}';
  AppendMetricSample(out, name, labels, value);
}

}  // namespace

void AppendMetricFamily(std::string& out, std::string_view name, std::string_view type,
                        std::string_view help) {
  out += "# HELP ";
  out += name;
  out += ' ';
  out += help;
  out += "\n# TYPE ";
  out += name;
  out += ' ';
  out += type;
  out += '\n';
}

void AppendMetricSample(std::string& out, std::string_view name, std::string_view labels,
                        std::string_view value) {
  out += name;
  out += labels;
  out += ' ';
  out += value;
  out += '\n';
}

std::string FormatMetrics(const std::vector<TargetMetrics>& targets) {
  std::vector<std::string> hosts;
  hosts.reserve(targets.size());
  for (const TargetMetrics& t : targets) hosts.push_back(EscapeLabelValue(t.host));

  std::string out;
  out.reserve(600 + targets.size() * 2400);

  Family(out, "quorvel_requests_total", "counter", "Ping probes that have ended, answered or not.");
  for (std::size_t i = 0; i < targets.size(); ++i)
    Series(out, "quorvel_requests_total", hosts[i], {}, std::to_string(targets[i].requests));

  Family(out, "quorvel_responses_total", "counter", "Ping probes that were answered.");
  for (std::size_t i = 0; i < targets.size(); ++i)
    Series(out, "quorvel_responses_total", hosts[i], {}, std::to_string(targets[i].responses));

  Family(out, "quorvel_response_duration_seconds", "histogram",
         "Round-trip times of the answered probes, in seconds.");
  for (std::size_t i = 0; i < targets.size(); ++i) {
    const ResponseDurations& d = targets[i].durations;
    for (int k = 0; k < ResponseDurations::kBuckets; ++k) {
      const std::string le =
          ",le=\"" + FormatSampleValue(Seconds(ResponseDurations::BoundMicros(k))) + "\"";
      Series(out, "quorvel_response_duration_seconds_bucket", hosts[i], le,
             std::to_string(d.Cumulative(k)));
    }
    Series(out, "quorvel_response_duration_seconds_bucket", hosts[i], ",le=\"+Inf\"",
           std::to_string(d.Count()));
    Series(out, "quorvel_response_duration_seconds_sum", hosts[i], {},
           FormatSampleValue(Seconds(d.SumMicros())));
    Series(out, "quorvel_response_duration_seconds_count", hosts[i], {}, std::to_string(d.Count()));
  }

  Family(out, "quorvel_last_response_seconds", "gauge",
         "Round-trip time of the last answered probe, in seconds.");
  for (std::size_t i = 0; i < targets.size(); ++i) {
    if (const auto last = targets[i].durations.LastMicros())
      Series(out, "quorvel_last_response_seconds", hosts[i], {}, FormatSampleValue(Seconds(*last)));
  }

  Family(out, "quorvel_jitter_seconds", "gauge",
         "Interarrival jitter of the round-trip times (RFC 3550), in seconds.");
  for (std::size_t i = 0; i < targets.size(); ++i) {
    if (const auto jitter = targets[i].jitterMs)
      Series(out, "quorvel_jitter_seconds", hosts[i], {}, FormatSampleValue(*jitter / 1000.0));
  }

  return out;
}

std::string FormatProbeAccountingMetrics(const std::vector<TargetMetrics>& targets) {
  std::vector<std::string> hosts;
  hosts.reserve(targets.size());
  for (const TargetMetrics& t : targets) hosts.push_back(EscapeLabelValue(t.host));
  std::string out;
  Family(out, "quorvel_corrupted_replies_total", "counter",
         "Replies whose payload was not what was sent, counted as lost.");
  for (std::size_t i = 0; i < targets.size(); ++i)
    Series(out, "quorvel_corrupted_replies_total", hosts[i], {}, std::to_string(targets[i].corrupted));

  Family(out, "quorvel_probe_errors_total", "counter",
         "Probes that could not be made (neither sent nor lost), by reason.");
  for (std::size_t i = 0; i < targets.size(); ++i) {
    for (const auto& [reason, count] : targets[i].errors) {
      Series(out, "quorvel_probe_errors_total", hosts[i], ",reason=\"" + EscapeLabelValue(reason) + "\"",
             std::to_string(count));
    }
  }

  Family(out, "quorvel_missed_slots_total", "counter",
         "Slots of the schedule at which no probe began, because the one before still ran.");
  for (std::size_t i = 0; i < targets.size(); ++i) {
    if (const auto missed = targets[i].missedSlots)
      Series(out, "quorvel_missed_slots_total", hosts[i], {}, std::to_string(*missed));
  }

  const bool anyRule = std::any_of(targets.begin(), targets.end(),
                                   [](const TargetMetrics& t) { return !t.alerts.empty(); });
  if (anyRule) {
    Family(out, "quorvel_alert_active", "gauge", "1 while the alert rule of the target is raised, else 0.");
    for (std::size_t i = 0; i < targets.size(); ++i) {
      for (const auto& [rule, active] : targets[i].alerts) {
        Series(out, "quorvel_alert_active", hosts[i], ",rule=\"" + EscapeLabelValue(rule) + "\"",
               active ? "1" : "0");
      }
    }
  }
  return out;
}

}  // namespace quorvel

namespace quorvel {

std::string FormatEngineTargetMetrics(const std::vector<TargetMetrics>& targets) {
  std::string out;
  if (std::none_of(targets.begin(), targets.end(), [](const TargetMetrics& t) { return t.engine.has_value(); })) {
    return out;
  }
  const struct {
    const char* name;
    const char* help;
    std::uint64_t TargetMetrics::EngineCounts::*count;
  } families[] = {
      {"quorvel_late_replies_total", "Replies that came after their probe's deadline (the probe counted lost).",
       &TargetMetrics::EngineCounts::late},
      {"quorvel_duplicate_replies_total", "Further copies of a reply already counted.",
       &TargetMetrics::EngineCounts::duplicates},
      {"quorvel_send_errors_total", "Probes the kernel refused to send (also probe errors).",
       &TargetMetrics::EngineCounts::sendErrors},
  };
  for (const auto& f : families) {
    Family(out, f.name, "counter", f.help);
    for (const TargetMetrics& t : targets) {
      if (t.engine) Series(out, f.name, EscapeLabelValue(t.host), {}, std::to_string((*t.engine).*f.count));
    }
  }
  return out;
}

}  // namespace quorvel
