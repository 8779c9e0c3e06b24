#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace quorvel {

// Threads for the work that may wait (a render on the UI thread, figures):
// started on demand, at most `maxThreads`, kept until Stop. Jobs run in the
// order they were posted; when every thread is busy they queue.
//
// Thread: Post from any thread; Stop from one thread that is not one of the
// pool's own. A job may not wait for a later job.
class WorkerPool {
 public:
  explicit WorkerPool(std::size_t maxThreads);
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  // False when the pool is stopping, or when no thread could be started and
  // none runs: the job is then dropped without running.
  bool Post(std::function<void()> job);

  // Stops taking jobs at once: later Posts are refused and queued jobs will
  // not run. Any thread, also from inside a job.
  void Close();

  // Close, then waits for the jobs running now and joins every thread; the
  // queued jobs are destroyed here, on the calling thread.
  void Stop();

 private:
  void Work();

  const std::size_t maxThreads_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::function<void()>> jobs_;
  std::vector<std::thread> threads_;
  std::size_t idle_ = 0;
  bool closed_ = false;
};

}  // namespace quorvel
