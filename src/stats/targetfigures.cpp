#include "stats/targetfigures.h"

#include <algorithm>
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
  lastError_.clear();
  recent_[recentCount_++ % kRecent] = micros ? *micros : -1;
  if (!micros) return;
  durations_.Add(*micros);
  // RFC 3550: J += (|D| - J) / 16 over consecutive replies.
  if (previousReply_) {
    const double d = static_cast<double>(std::llabs(*micros - *previousReply_));
    jitterMicros_ += (d - jitterMicros_) / 16.0;
  }
  previousReply_ = micros;
}

void TargetFigures::AddCorrupted(std::int64_t unixMs, std::int32_t utcOffsetSeconds) {
  Add(std::nullopt, unixMs, utcOffsetSeconds);
  ++corrupted_;
}

void TargetFigures::AddError(const std::string& reason) {
  ++errorCount_;
  lastError_ = reason;
  auto found = errors_.find(reason);
  if (found == errors_.end() && errors_.size() >= kMaxErrorReasons) found = errors_.try_emplace("other").first;
  if (found == errors_.end()) found = errors_.emplace(reason, 0).first;
  ++found->second;
}

std::vector<std::optional<std::int64_t>> TargetFigures::Recent() const {
  std::vector<std::optional<std::int64_t>> recent;
  const std::size_t n = std::min(recentCount_, kRecent);
  recent.reserve(n);
  for (std::size_t i = recentCount_ - n; i < recentCount_; ++i) {
    const std::int64_t v = recent_[i % kRecent];
    recent.push_back(v < 0 ? std::nullopt : std::optional<std::int64_t>(v));
  }
  return recent;
}

TargetMetrics TargetFigures::Metrics() const {
  TargetMetrics m;
  m.host = host_;
  m.requests = requests_;
  m.responses = durations_.Count();
  m.durations = durations_;
  if (m.responses > 1) m.jitterMs = jitterMicros_ / 1000.0;
  m.corrupted = corrupted_;
  m.errors.assign(errors_.begin(), errors_.end());
  return m;
}

}  // namespace quorvel
