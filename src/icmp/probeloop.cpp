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
  Impl(std::vector<int> fds, std::int64_t pacing, Callbacks c, std::atomic<bool>& done)
      : timer(io), pacingNs(pacing), callbacks(std::move(c)), finished(done) {
    for (int fd : fds) {
      if (fd < 0) continue;
      handles.push_back(fd);
      waits.emplace_back(std::make_unique<asio::posix::stream_descriptor>(io));
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
    Watch(true);
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
    Watch(!callbacks.repliesCanWait || !callbacks.repliesCanWait() || armedNs - stepped > 2 * pacingNs);
  }

  // Registers the sockets with the reactor, or takes them out, so that the
  // kernel has no one to tell of each packet. A pending wait ends with
  // operation_aborted; one registered anew reports what is already waiting.
  void Watch(bool on) {
    if (on == watching) return;
    watching = on;
    ++watchRound;
    for (std::size_t i = 0; i < waits.size(); ++i) {
      if (!on) {
        waits[i]->release();
        continue;
      }
      boost::system::error_code error;
      waits[i]->assign(handles[i], error);
      if (!error) Wait(*waits[i]);
    }
  }

  void Arm(std::int64_t next) {
    armedNs = std::max(next, lastStepNs + pacingNs);
    timer.expires_at(std::chrono::steady_clock::time_point(std::chrono::nanoseconds(armedNs)));
    timer.async_wait([this](const std::error_code& e) {
      if (!e) Step();
    });
  }

  void Wait(asio::posix::stream_descriptor& w) {
    w.async_wait(asio::posix::stream_descriptor::wait_read, [this, &w, round = watchRound](const std::error_code& e) {
      // A wait that completed just before the sockets were taken out must
      // not wait again: that would leave two waits on one socket.
      if (e || round != watchRound) return;
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
  std::vector<int> handles;
  std::vector<std::unique_ptr<asio::posix::stream_descriptor>> waits;
  bool watching = false;
  std::uint64_t watchRound = 0;
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
