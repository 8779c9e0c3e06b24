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

std::uint64_t LatencyHistogram::BucketCount(std::size_t bucket) const {
  const std::vector<std::uint64_t>& block = blocks_[bucket / kSubBuckets];
  return block.empty() ? 0 : block[bucket % kSubBuckets];
}

void LatencyHistogram::Add(std::int64_t micros) {
  const std::size_t bucket = BucketOf(micros);
  std::vector<std::uint64_t>& block = blocks_[bucket / kSubBuckets];
  if (block.empty()) block.assign(kSubBuckets, 0);
  ++block[bucket % kSubBuckets];
  ++count_;
}

void LatencyHistogram::Clear() {
  for (std::vector<std::uint64_t>& block : blocks_) std::fill(block.begin(), block.end(), 0);
  count_ = 0;
}

double LatencyHistogram::Quantile(double q) const {
  if (count_ == 0) return 0;
  const std::uint64_t rank = QuantileRank(q, count_);
  const auto middle = [](std::size_t bucket) {
    return static_cast<double>(BucketLow(bucket)) + static_cast<double>(BucketWidth(bucket) - 1) / 2.0;
  };
  std::uint64_t seen = 0;
  for (std::size_t b = 0; b < kBlocks; ++b) {
    const std::vector<std::uint64_t>& block = blocks_[b];
    for (std::size_t i = 0; i < block.size(); ++i) {
      seen += block[i];
      if (seen >= rank) return middle(b * kSubBuckets + i);
    }
  }
  return middle(kBuckets - 1);
}

}  // namespace quorvel
