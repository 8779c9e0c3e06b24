#include "web/imagecache.h"

namespace quorvel {

std::uint64_t ImageCache::Bump() {
  const std::uint64_t next = generation_.fetch_add(1, std::memory_order_acq_rel) + 1;
  ImageBytes old;
  {
    std::lock_guard lock(mutex_);
    if (storedGeneration_ < next) old = std::move(stored_);
  }
  return next;  // `old` is released outside the lock
}

ImageBytes ImageCache::Find(std::uint64_t generation) const {
  std::lock_guard lock(mutex_);
  return stored_ && storedGeneration_ == generation ? stored_ : nullptr;
}

void ImageCache::Store(std::uint64_t generation, ImageBytes image) {
  std::lock_guard lock(mutex_);
  if (generation != Generation()) return;
  storedGeneration_ = generation;
  stored_ = std::move(image);
}

}  // namespace quorvel
