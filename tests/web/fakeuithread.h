#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace quorvel {

// Stands in for the window's event loop: jobs posted from any thread run one
// after the other on one thread of its own. While held, jobs are only queued;
// RunHeld() then runs them on the calling thread.
class FakeUiThread {
 public:
  FakeUiThread() : thread_([this] { Loop(); }) {}
  ~FakeUiThread() {
    {
      std::lock_guard lock(mutex_);
      quit_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }

  void Post(std::function<void()> job) {
    {
      std::lock_guard lock(mutex_);
      jobs_.push_back(std::move(job));
      ++posted_;
    }
    changed_.notify_all();
  }

  void Hold() {
    std::lock_guard lock(mutex_);
    held_ = true;
  }

  // Waits (bounded) until `count` jobs have been posted in all.
  bool WaitPosted(int count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(20), [&] { return posted_ >= count; });
  }

  void RunHeld() {
    std::deque<std::function<void()>> jobs;
    {
      std::lock_guard lock(mutex_);
      jobs.swap(jobs_);
    }
    for (auto& job : jobs) job();
  }

 private:
  void Loop() {
    std::unique_lock lock(mutex_);
    for (;;) {
      changed_.wait(lock, [&] { return quit_ || (!held_ && !jobs_.empty()); });
      if (quit_) return;
      auto job = std::move(jobs_.front());
      jobs_.pop_front();
      lock.unlock();
      job();
      lock.lock();
    }
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::function<void()>> jobs_;
  int posted_ = 0;
  bool held_ = false;
  bool quit_ = false;
  std::thread thread_;
};

}  // namespace quorvel
