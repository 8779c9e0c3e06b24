#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "graph/chunkedvector.h"
#include "graph/colour.h"

namespace quorvel {

// One ping point as drawn. Series1 (line) and Series2 (filled) always hold
// the same ping points, so they are stored once. `time` is the local time of
// day at which the point was added, in seconds after midnight: the point's
// label.
struct PingPoint {
  std::int32_t value;
  Colour colour;
  std::uint32_t time;
};

// One running-average point of Series3.
struct AveragePoint {
  double value;
  Colour colour;
  std::uint32_t time;
};

// When a ping point was added: its label's time of day, the instant on the
// Unix time line and the local offset from UTC then.
struct PointStamp {
  std::uint32_t secondsOfDay = 0;
  std::int64_t unixMs = 0;
  std::int32_t utcOffsetSeconds = 0;
};

// What a ping point keeps beyond its drawing: for the data export.
struct PingDetail {
  std::int64_t unixMs;
  std::int32_t utcOffsetSeconds;
  std::optional<std::int64_t> micros;  // the precise reply time; empty: lost
  // The probe could not be made at all (drawn as a lost ping, but not lost).
  bool failed = false;
};

// The points of the graph. A point's position on the bottom axis is its index
// in its own series. Maximum, minimum and sum of the ping values are kept as
// points arrive (the sum in position order, as a walk over the points would
// add them), so the statistics of a tick do not grow with the run.
//
// Memory is what a long run is made of, so a ping point takes 16 bytes and an
// average point 12: a ping point keeps its instant as milliseconds after the
// start of its stretch of time, and its label's time of day is derived from
// it (a new stretch begins when the clock goes back, the local offset changes
// or 24 days have passed; the offset's top bit marks a probe that could not
// be made); the average colour is kept once per change. Both
// series are stored in chunks: no reallocation spikes and no capacity
// overshoot as a run grows without limit.
class PlotData {
 public:
  // A point of which only the label's time of day is known.
  void AddPing(std::int32_t value, Colour colour, std::uint32_t time);
  // A point with its instant and its precise reply time (empty: lost).
  // Reply times beyond 2^32 - 2 us (71 minutes) are kept as that.
  void AddPing(std::int32_t value, Colour colour, const PointStamp& stamp,
               std::optional<std::int64_t> micros);
  // A point drawn as a lost ping whose probe could not be made at all: its
  // detail says `failed` and has no reply time.
  void AddFailedPing(std::int32_t value, Colour colour, const PointStamp& stamp);
  void AddAverage(double value, Colour colour, std::uint32_t time);
  void Clear();

  std::size_t PingCount() const { return ping_.size(); }
  std::size_t AverageCount() const { return average_.size(); }
  PingPoint Ping(std::size_t i) const;
  PingDetail Detail(std::size_t i) const;
  AveragePoint Average(std::size_t i) const;

  // The replies among the points [0, end): how many, and their reply times
  // summed in microseconds. Costs at most kReplyCheckpointEvery steps,
  // however long the run.
  struct ReplySum {
    std::uint64_t count = 0;
    std::uint64_t micros = 0;
  };
  ReplySum RepliesBefore(std::size_t end) const;

  // Valid while PingCount() > 0.
  double PingMax() const { return max_; }
  double PingMin() const { return min_; }
  double PingSum() const { return sum_; }

 private:
  struct PingRecord {
    std::int32_t value;
    Colour colour;
    std::uint32_t micros;    // kNoReply for a lost ping
    std::uint32_t offsetMs;  // after the base of its stretch; kFailedBit set: failed
  };
#pragma pack(push, 4)
  struct AverageRecord {
    double value;
    std::uint32_t time;
  };
#pragma pack(pop)
  // A stretch of ping points whose instants are offsets from one base.
  struct Stretch {
    std::size_t first;  // index of its first point
    std::int64_t baseMs;
    std::int32_t labelShift;  // label = (Unix seconds + shift) mod 86400
    std::int32_t utcOffsetSeconds;
  };
  struct ColourRun {
    std::size_t first;
    Colour colour;
  };
  static constexpr std::uint32_t kNoReply = 0xFFFFFFFFu;
  static constexpr std::uint32_t kFailedBit = 0x80000000u;
  static constexpr std::int64_t kMaxOffsetMs = kFailedBit - 1;
  static constexpr std::size_t kReplyCheckpointEvery = 256;

  const Stretch& StretchOf(std::size_t i) const;

  ChunkedVector<PingRecord> ping_;
  ChunkedVector<AverageRecord> average_;
  std::vector<Stretch> stretches_;
  std::vector<ColourRun> averageColours_;
  // The replies before point k * kReplyCheckpointEvery, and before the end.
  std::vector<ReplySum> replyCheckpoints_;
  ReplySum replies_;
  double max_ = 0;
  double min_ = 0;
  double sum_ = 0;
};

}  // namespace quorvel
