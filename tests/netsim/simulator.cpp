#include "simulator.h"

#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <sys/timerfd.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace netsim {

std::int64_t MonotonicNs() {
  timespec t{};
  ::clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

Simulator::Simulator(int tun, WireTap& tap, Network& network, TruthLog& log, std::int64_t startNs)
    : tun_(tun), tap_(tap), network_(network), log_(log), startNs_(startNs) {}

void Simulator::SendDue() {
  while (!queue_.empty() && queue_.top().emission.dueNs <= Now()) {
    const Emission& e = queue_.top().emission;
    std::int64_t at = Now();
    if (::write(tun_, e.packet.data(), e.packet.size()) < 0) {
      if (writeError_.empty()) writeError_ = std::string("cannot write into the TUN: ") + std::strerror(errno);
    } else if (const auto wire = tap_.Incoming(e.packet)) {
      at = std::max(at, *wire - startNs_);
    }
    log_.Sent(e, at);
    queue_.pop();
  }
}

void Simulator::ReadArrivals() {
  std::uint8_t buffer[65536];
  // A bounded batch, so that due answers never wait behind a flood.
  for (int i = 0; i < 64; ++i) {
    const ssize_t n = ::read(tun_, buffer, sizeof buffer);
    if (n <= 0) return;
    // The kernel's time of the packet on the device, never before the last
    // arrival's: the two clocks' offset is read anew for each batch.
    std::int64_t at = Now();
    if (const auto wire = tap_.Outgoing({buffer, static_cast<std::size_t>(n)})) {
      at = std::clamp(*wire - startNs_, lastArrivalNs_, at);
    }
    lastArrivalNs_ = at;
    const std::optional<Packet> packet = ParsePacket(buffer, static_cast<std::size_t>(n));
    if (!packet) continue;
    Decision d = network_.Receive(*packet, at);
    log_.Received(*packet, d, at);
    for (Emission& e : d.emissions) queue_.push(Pending{std::move(e), made_++});
    SendDue();
  }
}

std::string Simulator::Run(int childDone, int signals, pid_t child) {
  // A timerfd set to the absolute due time wakes the loop at that time: an
  // hrtimer without the slack that poll's own timeout gets.
  ::prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
  // A real-time priority keeps the writes on time while the machine is busy
  // (two cores shared with builds and the command under test). The loop
  // sleeps between packets, and the kernel's real-time throttling bounds it
  // under a flood. Where it is not allowed the loop runs as before, and
  // says so: a test that then sees replies late knows why.
  const sched_param priority{10};
  if (::sched_setscheduler(0, SCHED_FIFO | SCHED_RESET_ON_FORK, &priority) != 0) {
    std::fprintf(stderr, "quorvel-netsim: no real-time priority here (%s): a busy machine delays replies\n",
                 std::strerror(errno));
  }
  const int timer = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
  if (timer < 0) return std::string("timerfd_create: ") + std::strerror(errno);
  pollfd fds[4] = {{tun_, POLLIN, 0}, {childDone, POLLIN, 0}, {signals, POLLIN, 0}, {timer, POLLIN, 0}};
  std::string failure;
  for (;;) {
    SendDue();
    if (!log_.Flush()) {
      failure = "cannot write the truth file";
      break;
    }
    itimerspec due{};
    if (!queue_.empty()) {
      // 0 would disarm the timer: a due time already past becomes 1 ns.
      const std::int64_t at = std::max<std::int64_t>(1, startNs_ + queue_.top().emission.dueNs);
      due.it_value.tv_sec = at / 1'000'000'000;
      due.it_value.tv_nsec = at % 1'000'000'000;
    }
    ::timerfd_settime(timer, TFD_TIMER_ABSTIME, &due, nullptr);
    const int ready = ::ppoll(fds, 4, nullptr, nullptr);
    if (ready < 0 && errno != EINTR) {
      failure = std::string("ppoll: ") + std::strerror(errno);
      break;
    }
    if (ready <= 0) continue;
    if (fds[3].revents & POLLIN) {
      std::uint64_t expirations = 0;
      [[maybe_unused]] const ssize_t n = ::read(timer, &expirations, sizeof expirations);
    }
    if (fds[0].revents & POLLIN) ReadArrivals();
    if (fds[2].revents & POLLIN) {
      signalfd_siginfo info{};
      if (::read(signals, &info, sizeof info) == sizeof info) ::kill(child, static_cast<int>(info.ssi_signo));
    }
    if (fds[1].revents & POLLIN) break;
  }
  ::close(timer);
  log_.Flush();
  return failure.empty() ? writeError_ : failure;
}

}  // namespace netsim
