#include "icmp/probeloop.h"

#include <chrono>
#include <string>
#include <system_error>

#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/posix/stream_descriptor.hpp>
#include <boost/asio/steady_timer.hpp>

namespace quorvel::icmp {

namespace asio = boost::asio;

struct ProbeLoop::Impl {
  Impl(std::vector<int> handles, std::int64_t pacing, Callbacks c, std::atomic<bool>& done)
      : timer(io), pacingNs(pacing), callbacks(std::move(c)), finished(done) {
    for (int fd : handles) {
      if (fd >= 0) waits.emplace_back(std::make_unique<asio::posix::stream_descriptor>(io, fd));
    }
  }
  ~Impl() {
    // The sockets own their descriptors.
    for (auto& w : waits) w->release();
  }

  static std::int64_t MonoNow() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }

  void Run() {
    for (auto& w : waits) Wait(*w);
    asio::post(io, [this] { Step(); });
    io.run();
    finished.store(true);
  }

  void Step() {
    const auto next = callbacks.step();
    const std::int64_t stepped = MonoNow();
    if (callbacks.published) callbacks.published();
    if (!next) {
      io.stop();
      return;
    }
    lastStepNs = stepped;
    Arm(*next);
  }

  void Arm(std::int64_t next) {
    armedNs = std::max(next, lastStepNs + pacingNs);
    timer.expires_at(std::chrono::steady_clock::time_point(std::chrono::nanoseconds(armedNs)));
    timer.async_wait([this](const std::error_code& e) {
      if (!e) Step();
    });
  }

  void Wait(asio::posix::stream_descriptor& w) {
    w.async_wait(asio::posix::stream_descriptor::wait_read, [this, &w](const std::error_code& e) {
      if (e) return;
      // Armed again before reading: a packet that comes after the read
      // below still wakes the loop (the descriptor is edge-triggered).
      Wait(w);
      Drain();
      if (callbacks.published) callbacks.published();
    });
  }

  void Drain() {
    // Bounded reads: the timer gets its turn between them.
    if (callbacks.drain()) {
      asio::post(io, [this] { Drain(); });
      return;
    }
    const auto next = callbacks.nextWake();
    if (!next) {
      io.stop();
    } else if (*next < armedNs && std::max(*next, lastStepNs + pacingNs) < armedNs) {
      Arm(*next);  // cancels the wait armed for later
    }
  }

  asio::io_context io;
  asio::steady_timer timer;
  std::vector<std::unique_ptr<asio::posix::stream_descriptor>> waits;
  std::int64_t pacingNs;
  std::int64_t lastStepNs = 0;
  std::int64_t armedNs = 0;
  Callbacks callbacks;
  std::atomic<bool>& finished;
};

ProbeLoop::ProbeLoop(std::vector<int> handles, std::int64_t pacingNs, Callbacks callbacks)
    : impl_(std::make_unique<Impl>(std::move(handles), pacingNs, std::move(callbacks), finished_)) {}

ProbeLoop::~ProbeLoop() {
  Stop();
  Wait();
}

bool ProbeLoop::Start(std::string& error) {
  try {
    thread_ = std::thread([this] { impl_->Run(); });
  } catch (const std::system_error& e) {
    error = std::string("cannot start the ICMP loop: ") + e.what();
    return false;
  }
  return true;
}

void ProbeLoop::Stop() { impl_->io.stop(); }

void ProbeLoop::Wait() {
  if (thread_.joinable()) thread_.join();
}

}  // namespace quorvel::icmp
