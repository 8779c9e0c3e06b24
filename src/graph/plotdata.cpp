#include "graph/plotdata.h"

#include <algorithm>

#include "stats/isotime.h"

namespace quorvel {

namespace {

std::int32_t Mod86400(std::int64_t v) {
  return static_cast<std::int32_t>(v - FloorDiv(v, 86400) * 86400);
}

}  // namespace

void PlotData::AddPing(std::int32_t value, Colour colour, std::uint32_t time) {
  // Without an instant, the time of day stands in for it, so the points of
  // one day share one stretch.
  AddPing(value, colour, PointStamp{time, static_cast<std::int64_t>(time % 86400u) * 1000, 0},
          std::nullopt);
}

void PlotData::AddPing(std::int32_t value, Colour colour, const PointStamp& stamp,
                       std::optional<std::int64_t> micros) {
  const double v = value;
  if (ping_.empty()) {
    max_ = min_ = v;
    sum_ = 0;
  } else {
    max_ = std::max(max_, v);
    min_ = std::min(min_, v);
  }
  sum_ += v;

  const std::int32_t shift =
      Mod86400(static_cast<std::int64_t>(stamp.secondsOfDay) - FloorDiv(stamp.unixMs, 1000));
  if (stretches_.empty() || stretches_.back().labelShift != shift ||
      stretches_.back().utcOffsetSeconds != stamp.utcOffsetSeconds ||
      stamp.unixMs < stretches_.back().baseMs ||
      stamp.unixMs - stretches_.back().baseMs > kMaxOffsetMs) {
    stretches_.push_back({ping_.size(), stamp.unixMs, shift, stamp.utcOffsetSeconds});
  }
  const std::uint32_t kept =
      micros ? static_cast<std::uint32_t>(std::clamp<std::int64_t>(*micros, 0, kNoReply - 1))
             : kNoReply;
  if (ping_.size() % kReplyCheckpointEvery == 0) replyCheckpoints_.push_back(replies_);
  if (kept != kNoReply) {
    ++replies_.count;
    replies_.micros += kept;
  }
  ping_.push_back({value, colour, kept,
                   static_cast<std::uint32_t>(stamp.unixMs - stretches_.back().baseMs)});
}

void PlotData::AddFailedPing(std::int32_t value, Colour colour, const PointStamp& stamp) {
  AddPing(value, colour, stamp, std::nullopt);
  ping_[ping_.size() - 1].offsetMs |= kFailedBit;
}

void PlotData::AddAverage(double value, Colour colour, std::uint32_t time) {
  if (averageColours_.empty() || averageColours_.back().colour != colour) {
    averageColours_.push_back({average_.size(), colour});
  }
  average_.push_back({value, time});
}

void PlotData::Clear() {
  ping_.clear();
  average_.clear();
  std::vector<Stretch>().swap(stretches_);
  std::vector<ColourRun>().swap(averageColours_);
  std::vector<ReplySum>().swap(replyCheckpoints_);
  replies_ = {};
  max_ = min_ = sum_ = 0;
}

PlotData::ReplySum PlotData::RepliesBefore(std::size_t end) const {
  end = std::min(end, ping_.size());
  if (end == ping_.size()) return replies_;
  const std::size_t checkpoint = end / kReplyCheckpointEvery;
  ReplySum sum = replyCheckpoints_[checkpoint];
  for (std::size_t i = checkpoint * kReplyCheckpointEvery; i < end; ++i) {
    if (ping_[i].micros == kNoReply) continue;
    ++sum.count;
    sum.micros += ping_[i].micros;
  }
  return sum;
}

const PlotData::Stretch& PlotData::StretchOf(std::size_t i) const {
  // The last stretch that begins at or before i; almost always the only one.
  if (stretches_.back().first <= i) return stretches_.back();
  const auto it = std::upper_bound(stretches_.begin(), stretches_.end(), i,
                                   [](std::size_t index, const Stretch& s) { return index < s.first; });
  return *(it - 1);
}

PingPoint PlotData::Ping(std::size_t i) const {
  const PingRecord& r = ping_[i];
  const Stretch& s = StretchOf(i);
  const std::int64_t unixMs = s.baseMs + (r.offsetMs & ~kFailedBit);
  const auto time = static_cast<std::uint32_t>(Mod86400(FloorDiv(unixMs, 1000) + s.labelShift));
  return {r.value, r.colour, time};
}

PingDetail PlotData::Detail(std::size_t i) const {
  const PingRecord& r = ping_[i];
  const Stretch& s = StretchOf(i);
  PingDetail d{s.baseMs + (r.offsetMs & ~kFailedBit), s.utcOffsetSeconds, std::nullopt,
               (r.offsetMs & kFailedBit) != 0};
  if (r.micros != kNoReply) d.micros = r.micros;
  return d;
}

AveragePoint PlotData::Average(std::size_t i) const {
  const AverageRecord& r = average_[i];
  Colour colour = averageColours_.back().colour;
  if (averageColours_.back().first > i) {
    const auto it =
        std::upper_bound(averageColours_.begin(), averageColours_.end(), i,
                         [](std::size_t index, const ColourRun& c) { return index < c.first; });
    colour = (it - 1)->colour;
  }
  return {r.value, colour, r.time};
}

}  // namespace quorvel
