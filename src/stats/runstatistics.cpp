#include "stats/runstatistics.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "stats/isotime.h"

namespace quorvel {

void RunStatistics::AddReply(std::int64_t micros) {
  const std::int64_t v = std::max<std::int64_t>(micros, 0);
  if (received_ == 0) {
    min_ = max_ = v;
  } else {
    min_ = std::min(min_, v);
    max_ = std::max(max_, v);
    // Arrival order, never sorted order: the change from the previous reply.
    const std::int64_t d = std::llabs(v - previous_);
    differenceSum_ += d;
    jitter_ += (static_cast<double>(d) - jitter_) / 16.0;
  }
  ++received_;
  sum_ += v;
  const double delta = static_cast<double>(v) - welfordMean_;
  welfordMean_ += delta / static_cast<double>(received_);
  welfordM2_ += delta * (static_cast<double>(v) - welfordMean_);
  previous_ = v;
  lossRun_ = 0;
  histogram_.Add(v);
}

void RunStatistics::AddLoss(std::int64_t unixMs, std::int32_t utcOffsetSeconds) {
  ++lost_;
  ++lossRun_;
  longestLossRun_ = std::max(longestLossRun_, lossRun_);
  lastLossUnixMs_ = unixMs;
  lastLossUtcOffset_ = utcOffsetSeconds;
}

void RunStatistics::Add(const std::optional<std::int64_t>& micros, std::int64_t unixMs,
                        std::int32_t utcOffsetSeconds) {
  if (micros) {
    AddReply(*micros);
  } else {
    AddLoss(unixMs, utcOffsetSeconds);
  }
}

void RunStatistics::Clear() { *this = RunStatistics(); }

StatisticsSummary RunStatistics::Summary() const {
  StatisticsSummary s;
  s.sent = Sent();
  s.received = received_;
  s.lost = lost_;
  if (s.sent > 0) s.lossPercent = 100.0 * static_cast<double>(lost_) / static_cast<double>(s.sent);
  if (received_ > 0) {
    const auto n = static_cast<double>(received_);
    s.minMs = static_cast<double>(min_) / 1000.0;
    s.maxMs = static_cast<double>(max_) / 1000.0;
    s.meanMs = static_cast<double>(sum_) / n / 1000.0;
    s.stdDevMs = std::sqrt(std::max(0.0, welfordM2_ / n)) / 1000.0;
    // A bucket's middle may lie beyond the extremes seen; the true value does not.
    auto percentile = [&](double q) {
      return std::clamp(histogram_.Quantile(q), static_cast<double>(min_),
                        static_cast<double>(max_)) / 1000.0;
    };
    s.p50Ms = percentile(0.50);
    s.p95Ms = percentile(0.95);
    s.p99Ms = percentile(0.99);
  }
  if (received_ > 1) {
    s.jitterMs = jitter_ / 1000.0;
    s.meanDifferenceMs =
        static_cast<double>(differenceSum_) / static_cast<double>(received_ - 1) / 1000.0;
  }
  s.longestLossRun = longestLossRun_;
  s.lastLossUnixMs = lastLossUnixMs_;
  s.lastLossUtcOffsetSeconds = lastLossUtcOffset_;
  return s;
}

std::string FormatMs(double ms) {
  // Whole microseconds, halves away from zero, then exact digits: 52.5 us
  // shows as 0.053 whatever its binary neighbours.
  if (!std::isfinite(ms)) return "-";
  return FormatMicrosAsMs(static_cast<std::int64_t>(std::llround(ms * 1000.0)));
}

std::string FormatMicrosAsMs(std::int64_t micros) {
  char buffer[48];
  const bool negative = micros < 0;
  const std::uint64_t m = negative ? 0 - static_cast<std::uint64_t>(micros)
                                   : static_cast<std::uint64_t>(micros);
  std::snprintf(buffer, sizeof buffer, "%s%llu.%03llu", negative ? "-" : "",
                static_cast<unsigned long long>(m / 1000),
                static_cast<unsigned long long>(m % 1000));
  return buffer;
}

namespace {

std::string LossPercentText(const StatisticsSummary& s) {
  char buffer[32];
  if (s.lost > 0 && s.lossPercent < 0.05) return "<0.1 %";
  std::snprintf(buffer, sizeof buffer, "%.1f %%", s.lossPercent);
  return buffer;
}

std::string LocalStamp(std::int64_t unixMs, std::int32_t offset) {
  std::string iso = FormatIsoLocal(unixMs, offset);
  iso[10] = ' ';
  return iso.substr(0, 19);
}

// A number of milliseconds for JSON: three decimals.
std::string JsonMs(double ms) { return FormatMs(ms); }

}  // namespace

std::string LossText(const StatisticsSummary& s) {
  return "Loss: " + std::to_string(s.lost) + " of " + std::to_string(s.sent) + " (" +
         LossPercentText(s) + ")";
}

std::vector<std::string> StatisticsLineVariants(const StatisticsSummary& s) {
  if (s.sent == 0) return {};
  const std::string loss = "Loss " + LossPercentText(s);
  if (s.received == 0) return {loss + "   no replies", loss};
  const std::string minAvgMax =
      FormatMs(s.minMs) + "/" + FormatMs(s.meanMs) + "/" + FormatMs(s.maxMs) + " ms";
  const std::string jitter = FormatMs(s.jitterMs);
  const std::string p95 = FormatMs(s.p95Ms);
  return {
      loss + "   replies min/avg/max " + minAvgMax + "   jitter " + jitter + " ms   p95 " + p95 + " ms",
      loss + "  " + minAvgMax + "  jitter " + jitter + "  p95 " + p95,
      loss + "  avg " + FormatMs(s.meanMs) + "  jitter " + jitter + "  p95 " + p95,
      loss + "  avg " + FormatMs(s.meanMs) + "  p95 " + p95,
  };
}

std::vector<std::string> StatisticsLines(const StatisticsSummary& s) {
  std::vector<std::string> lines{LossText(s)};
  if (s.received > 0) {
    lines.push_back("Min/Avg/Max of replies: " + FormatMs(s.minMs) + " / " + FormatMs(s.meanMs) + " / " +
                    FormatMs(s.maxMs) + " ms");
    lines.push_back("Std. deviation of replies: " + FormatMs(s.stdDevMs) + " ms");
    lines.push_back("Median/p95/p99 of replies: " + FormatMs(s.p50Ms) + " / " + FormatMs(s.p95Ms) + " / " +
                    FormatMs(s.p99Ms) + " ms");
  } else {
    lines.push_back("Min/Avg/Max of replies: -");
    lines.push_back("Std. deviation of replies: -");
    lines.push_back("Median/p95/p99 of replies: -");
  }
  if (s.received > 1) {
    lines.push_back("Jitter: " + FormatMs(s.jitterMs) + " ms (RFC 3550), " +
                    FormatMs(s.meanDifferenceMs) + " ms (mean difference)");
  } else {
    lines.push_back("Jitter: -");
  }
  lines.push_back("Longest loss run: " + std::to_string(s.longestLossRun));
  lines.push_back("Last loss: " + (s.lastLossUnixMs
                                       ? LocalStamp(*s.lastLossUnixMs, s.lastLossUtcOffsetSeconds)
                                       : std::string("none")));
  return lines;
}

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  for (std::size_t i = 0; i < n;) {
    const unsigned char c = p[i];
    if (c < 0x80) {
      switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
          if (c < 0x20 || c == 0x7F) {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
            out += buffer;
          } else {
            out.push_back(static_cast<char>(c));
          }
      }
      ++i;
      continue;
    }
    // A well-formed UTF-8 sequence is copied; anything else is one U+FFFD.
    std::size_t length = 0;
    unsigned lowest = 0;
    if (c >= 0xC2 && c <= 0xDF) { length = 2; lowest = 0x80; }
    else if (c >= 0xE0 && c <= 0xEF) { length = 3; lowest = 0x800; }
    else if (c >= 0xF0 && c <= 0xF4) { length = 4; lowest = 0x10000; }
    bool ok = length > 0 && i + length <= n;
    unsigned code = ok ? (c & (0x7Fu >> length)) : 0;
    for (std::size_t k = 1; ok && k < length; ++k) {
      ok = (p[i + k] & 0xC0) == 0x80;
      code = (code << 6) | (p[i + k] & 0x3Fu);
    }
    ok = ok && code >= lowest && code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF);
    if (ok) {
      out.append(text, i, length);
      i += length;
    } else {
      out += "\xEF\xBF\xBD";
      ++i;
    }
  }
  out += '"';
  return out;
}

std::string StatisticsJson(const StatisticsSummary& s, const std::string& address) {
  const bool replies = s.received > 0;
  const bool pairs = s.received > 1;
  auto ms = [](bool valid, double value) { return valid ? JsonMs(value) : std::string("null"); };
  char loss[32];
  std::snprintf(loss, sizeof loss, "%.3f", s.lossPercent);
  std::string json = "{";
  json += "\"address\":" + JsonString(address);
  json += ",\"sent\":" + std::to_string(s.sent);
  json += ",\"received\":" + std::to_string(s.received);
  json += ",\"lost\":" + std::to_string(s.lost);
  json += ",\"loss_percent\":" + std::string(loss);
  json += ",\"min_ms\":" + ms(replies, s.minMs);
  json += ",\"avg_ms\":" + ms(replies, s.meanMs);
  json += ",\"max_ms\":" + ms(replies, s.maxMs);
  json += ",\"stddev_ms\":" + ms(replies, s.stdDevMs);
  json += ",\"jitter_ms\":" + ms(pairs, s.jitterMs);
  json += ",\"mean_difference_ms\":" + ms(pairs, s.meanDifferenceMs);
  json += ",\"p50_ms\":" + ms(replies, s.p50Ms);
  json += ",\"p95_ms\":" + ms(replies, s.p95Ms);
  json += ",\"p99_ms\":" + ms(replies, s.p99Ms);
  json += ",\"longest_loss_run\":" + std::to_string(s.longestLossRun);
  if (s.lastLossUnixMs) {
    json += ",\"last_loss\":" +
            JsonString(FormatIsoLocal(*s.lastLossUnixMs, s.lastLossUtcOffsetSeconds));
    json += ",\"last_loss_unix_ms\":" + std::to_string(*s.lastLossUnixMs);
  } else {
    json += ",\"last_loss\":null,\"last_loss_unix_ms\":null";
  }
  json += "}\n";
  return json;
}

}  // namespace quorvel
