#pragma once

#include <cstddef>
#include <memory>
#include <vector>

namespace quorvel {

// A growing array stored in fixed chunks of 2^ChunkBits elements: appending
// never moves or copies what is stored, there is no capacity overshoot beyond
// the last chunk, and the bookkeeping is one pointer per chunk, so memory is
// the elements' own size plus a fraction of a per cent.
template <typename T, unsigned ChunkBits = 12>
class ChunkedVector {
 public:
  static constexpr std::size_t kChunk = std::size_t{1} << ChunkBits;

  void push_back(const T& value) {
    if ((size_ & (kChunk - 1)) == 0) chunks_.push_back(std::make_unique_for_overwrite<T[]>(kChunk));
    chunks_[size_ >> ChunkBits][size_ & (kChunk - 1)] = value;
    ++size_;
  }
  const T& operator[](std::size_t i) const { return chunks_[i >> ChunkBits][i & (kChunk - 1)]; }
  T& operator[](std::size_t i) { return chunks_[i >> ChunkBits][i & (kChunk - 1)]; }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  // Empties the array and hands its memory back.
  void clear() {
    std::vector<std::unique_ptr<T[]>>().swap(chunks_);
    size_ = 0;
  }

 private:
  std::vector<std::unique_ptr<T[]>> chunks_;
  std::size_t size_ = 0;
};

}  // namespace quorvel
