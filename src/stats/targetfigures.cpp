#include "stats/targetfigures.h"

#include <cstdlib>

namespace quorvel {

void TargetFigures::SetHost(const std::string& host) {
  if (host == host_) return;
  *this = TargetFigures(host);
}

void TargetFigures::Add(const std::optional<std::int64_t>& micros, std::int64_t unixMs,
                        std::int32_t utcOffsetSeconds) {
  run_.Add(micros, unixMs, utcOffsetSeconds);
  ++requests_;
  last_ = micros;
  if (!micros) return;
  durations_.Add(*micros);
  // RFC 3550: J += (|D| - J) / 16 over consecutive replies.
  if (previousReply_) {
    const double d = static_cast<double>(std::llabs(*micros - *previousReply_));
    jitterMicros_ += (d - jitterMicros_) / 16.0;
  }
  previousReply_ = micros;
}

TargetMetrics TargetFigures::Metrics() const {
  TargetMetrics m;
  m.host = host_;
  m.requests = requests_;
  m.responses = durations_.Count();
  m.durations = durations_;
  if (m.responses > 1) m.jitterMs = jitterMicros_ / 1000.0;
  return m;
}

}  // namespace quorvel
