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
  ++runCorrupted_;
}

void TargetFigures::ClearRun() {
  run_.Clear();
  runErrors_.clear();
  runErrorCount_ = 0;
  runCorrupted_ = 0;
}

namespace {

// Counts one of `reason` in `errors`, under "other" once `limit` reasons
// are told apart.
void CountReason(std::map<std::string, std::uint64_t>& errors, const std::string& reason,
                 std::size_t limit) {
  auto found = errors.find(reason);
  if (found == errors.end() && errors.size() >= limit) found = errors.try_emplace("other").first;
  if (found == errors.end()) found = errors.emplace(reason, 0).first;
  ++found->second;
}

}  // namespace

void TargetFigures::AddError(const std::string& reason) {
  ++errorCount_;
  lastError_ = reason;
  CountReason(errors_, reason, kMaxErrorReasons);
  ++runErrorCount_;
  CountReason(runErrors_, reason, kMaxErrorReasons);
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
