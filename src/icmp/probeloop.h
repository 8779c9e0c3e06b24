#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

namespace quorvel::icmp {

// The event loop behind the engines: one Boost.Asio io_context on a thread of
// its own, one timer, and a wait for reading on each socket descriptor.
// `step` runs when the timer fires and returns the monotonic time (ns) it
// wants to run next, or none when the work is done; the timer never fires
// sooner than `pacingNs` after the previous step, so that probes due close
// together go out in one wake-up. `drain` runs whenever a socket has
// something to read (its error queue included) and returns whether more may
// be waiting; after it, `nextWake` says when `step` is next needed, so that
// the timer is brought forward (or the loop ends) when a reply answered the
// last probe. `published` runs after each of them, on the loop thread.
//
// While `repliesCanWait` says so and the next step is due within two pacing
// periods, the loop does not watch the sockets: what comes in meanwhile is
// read by that step, and no wake-up is spent on each packet (at thousands
// of probes a second the kernel's notice of every packet to the waiting
// loop costs as much as a tenth of the probe). Without `repliesCanWait` the
// sockets are always watched.
//
// Thread: Start, Stop, Wait and the destructor on one thread; Finished from
// any. The callbacks run on the loop thread only.
class ProbeLoop {
 public:
  struct Callbacks {
    std::function<std::optional<std::int64_t>()> step;
    std::function<bool()> drain;
    std::function<std::optional<std::int64_t>()> nextWake;
    std::function<void()> published;
    std::function<bool()> repliesCanWait;
  };

  ProbeLoop(std::vector<int> handles, std::int64_t pacingNs, Callbacks callbacks);
  ~ProbeLoop();
  ProbeLoop(const ProbeLoop&) = delete;
  ProbeLoop& operator=(const ProbeLoop&) = delete;

  // Starts the thread; false with `error` set when it cannot.
  bool Start(std::string& error);
  // Ends the loop soon, from any thread but the loop's own. Safe twice.
  void Stop();
  // Returns once the loop has ended (its work done, or stopped).
  void Wait();
  bool Finished() const { return finished_.load(); }

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  std::thread thread_;
  std::atomic<bool> finished_{false};
};

}  // namespace quorvel::icmp
