#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace quorvel {

// The nearest rank of quantile q among `count` sorted values: ceil(q * count),
// at least 1 (0 when count is 0).
std::uint64_t QuantileRank(double q, std::uint64_t count);

// Counts of reply times in log-linear buckets: every power of two of
// microseconds is split into 64 equal buckets, and times below 128 us have a
// bucket each. A bucket [lo, lo + w) therefore never holds a time below
// 64 * w, and the middle of a bucket is within 1/128 (0.79 %) of any time in
// it. Times from 0 to 2^32 - 1 us (about 71 minutes) are told apart; longer
// ones fall into the last bucket.
//
// The buckets are kept in blocks of 64 (one power of two, 512 bytes), each
// made when a time first falls into it: the times of one target span a few
// powers of two, so it keeps a few blocks (at most 27, a little under
// 14 KiB), which matters with thousands of targets. O(1) per added time.
// Not thread-safe.
class LatencyHistogram {
 public:
  static constexpr int kSubBuckets = 64;
  static constexpr std::size_t kBuckets = kSubBuckets + kSubBuckets * 26;  // up to 2^32 us
  // The bound on the relative error of Quantile against the exact order
  // statistic of the same rank.
  static constexpr double kMaxRelativeError = 1.0 / 128;

  void Add(std::int64_t micros);
  void Clear();

  std::uint64_t Count() const { return count_; }
  std::uint64_t BucketCount(std::size_t bucket) const;

  static std::size_t BucketOf(std::int64_t micros);
  // The smallest time of a bucket, and the number of whole microseconds in it.
  static std::int64_t BucketLow(std::size_t bucket);
  static std::int64_t BucketWidth(std::size_t bucket);

  // The time of rank ceil(q * Count()) (at least 1) in sorted order, estimated
  // as the middle of its bucket: exact below 128 us, otherwise within
  // kMaxRelativeError. q in [0, 1]. 0 when empty.
  double Quantile(double q) const;

 private:
  static constexpr std::size_t kBlocks = kBuckets / kSubBuckets;
  // Block b holds buckets 64 b to 64 b + 63, or nothing while none was used.
  std::array<std::vector<std::uint64_t>, kBlocks> blocks_{};
  std::uint64_t count_ = 0;
};

}  // namespace quorvel
