#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "web/requesthandler.h"

namespace quorvel {

// The last encoded web image, kept for as long as nothing it depends on has
// changed, so that requests between two changes need no render.
//
// The generation is an opaque number that the window bumps (on the UI thread)
// whenever anything the web image depends on changes: the graph's points, its
// look, the on-screen size when the size rule uses it, the image-size rule,
// the image type or the gray switch. An image is stored under the generation
// that was current when its render began; a request asks for the current
// generation. So a cached reply is byte for byte what a fresh render at that
// generation gives, provided the window bumps on every such change.
//
// Thread: all members may be called from any thread; Bump is meant for the
// UI thread, which owns the state the generation stands for.
class ImageCache {
 public:
  // A new generation; the stored image stops being served.
  std::uint64_t Bump();
  std::uint64_t Generation() const { return generation_.load(std::memory_order_acquire); }
  // The image stored for `generation`, or null.
  ImageBytes Find(std::uint64_t generation) const;
  // Keeps `image` as the image of `generation`; ignored unless `generation`
  // is still the current one.
  void Store(std::uint64_t generation, ImageBytes image);

 private:
  std::atomic<std::uint64_t> generation_{1};
  mutable std::mutex mutex_;
  std::uint64_t storedGeneration_ = 0;
  ImageBytes stored_;
};

}  // namespace quorvel
