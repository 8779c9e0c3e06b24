#include "stats/latencyhistogram.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace quorvel {

namespace {

constexpr std::int64_t kTop = (std::int64_t{1} << 32) - 1;

}  // namespace

std::uint64_t QuantileRank(double q, std::uint64_t count) {
  if (count == 0) return 0;
  // 0.95 * 100 is 95.00000000000001 in doubles: a product within a hair of a
  // whole number is that number, so the rank is what the decimal q means.
  const double product = std::clamp(q, 0.0, 1.0) * static_cast<double>(count);
  double rank = std::floor(product);
  if (product - rank > 1e-9 * std::max(1.0, product)) rank += 1;
  return std::clamp<std::uint64_t>(static_cast<std::uint64_t>(rank), 1, count);
}

std::size_t LatencyHistogram::BucketOf(std::int64_t micros) {
  const auto v = static_cast<std::uint64_t>(std::clamp<std::int64_t>(micros, 0, kTop));
  if (v < 2 * kSubBuckets) return static_cast<std::size_t>(v);
  // v >> shift lies in [64, 128): the bucket within its power of two.
  const int shift = static_cast<int>(std::bit_width(v)) - 7;
  return static_cast<std::size_t>(kSubBuckets * (shift + 1) + static_cast<int>(v >> shift) -
                                  kSubBuckets);
}

std::int64_t LatencyHistogram::BucketLow(std::size_t bucket) {
  if (bucket < 2 * kSubBuckets) return static_cast<std::int64_t>(bucket);
  const std::size_t shift = bucket / kSubBuckets - 1;
  const std::size_t within = bucket % kSubBuckets + kSubBuckets;
  return static_cast<std::int64_t>(within) << shift;
}

std::int64_t LatencyHistogram::BucketWidth(std::size_t bucket) {
  if (bucket < 2 * kSubBuckets) return 1;
  return std::int64_t{1} << (bucket / kSubBuckets - 1);
}

void LatencyHistogram::Add(std::int64_t micros) {
  ++counts_[BucketOf(micros)];
  ++count_;
}

void LatencyHistogram::Clear() {
  counts_.fill(0);
  count_ = 0;
}

double LatencyHistogram::Quantile(double q) const {
  if (count_ == 0) return 0;
  const std::uint64_t rank = QuantileRank(q, count_);
  std::uint64_t seen = 0;
  std::size_t bucket = 0;
  for (; bucket + 1 < kBuckets; ++bucket) {
    seen += counts_[bucket];
    if (seen >= rank) break;
  }
  return static_cast<double>(BucketLow(bucket)) +
         static_cast<double>(BucketWidth(bucket) - 1) / 2.0;
}

}  // namespace quorvel
