#pragma once

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

namespace quorvel::icmp {

// A first-in first-out queue in one buffer that doubles when full: once it
// has grown to its working size, pushing and popping allocate nothing
// (std::deque allocates and frees a block every few dozen items, so a
// queue of probes would allocate in proportion to the probes sent).
template <typename T>
class Fifo {
 public:
  bool empty() const { return size_ == 0; }
  std::size_t size() const { return size_; }
  const T& front() const { return items_[head_]; }
  void pop_front() { head_ = (head_ + 1) & (items_.size() - 1), --size_; }
  void push_back(const T& item) {
    if (size_ == items_.size()) Grow();
    items_[(head_ + size_++) & (items_.size() - 1)] = item;
  }

 private:
  void Grow() {
    std::vector<T> bigger(std::max<std::size_t>(64, items_.size() * 2));
    for (std::size_t i = 0; i < size_; ++i) bigger[i] = items_[(head_ + i) & (items_.size() - 1)];
    items_ = std::move(bigger);
    head_ = 0;
  }

  std::vector<T> items_;  // a power of two long
  std::size_t head_ = 0;
  std::size_t size_ = 0;
};

}  // namespace quorvel::icmp
