#include "web/workerpool.h"

#include <algorithm>
#include <system_error>

namespace quorvel {

WorkerPool::WorkerPool(std::size_t maxThreads)
    : maxThreads_(std::max<std::size_t>(1, maxThreads)) {}

WorkerPool::~WorkerPool() { Stop(); }

bool WorkerPool::Post(std::function<void()> job) {
  std::unique_lock lock(mutex_);
  if (closed_) return false;
  jobs_.push_back(std::move(job));
  // Every job queued beyond the idle threads wants a thread of its own.
  if (jobs_.size() > idle_ && threads_.size() < maxThreads_) {
    try {
      threads_.emplace_back([this] { Work(); });
    } catch (const std::system_error&) {
      if (threads_.empty()) {
        jobs_.pop_back();
        return false;
      }
      // The threads there are will get to it.
    }
  }
  lock.unlock();
  changed_.notify_one();
  return true;
}

void WorkerPool::Close() {
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
  }
  changed_.notify_all();
}

void WorkerPool::Stop() {
  Close();
  std::vector<std::thread> threads;
  std::deque<std::function<void()>> jobs;
  {
    std::lock_guard lock(mutex_);
    threads.swap(threads_);
  }
  for (std::thread& thread : threads) thread.join();
  {
    std::lock_guard lock(mutex_);
    jobs.swap(jobs_);
  }
}

void WorkerPool::Work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    ++idle_;
    changed_.wait(lock, [&] { return closed_ || !jobs_.empty(); });
    --idle_;
    if (closed_) return;
    std::function<void()> job = std::move(jobs_.front());
    jobs_.pop_front();
    lock.unlock();
    job();
    job = nullptr;  // what it holds goes before the next wait
    lock.lock();
  }
}

}  // namespace quorvel
