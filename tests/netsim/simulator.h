#pragma once

#include <sys/types.h>

#include <cstdint>
#include <queue>
#include <string>
#include <vector>

#include "network.h"
#include "truthlog.h"
#include "wiretap.h"

namespace netsim {

// Nanoseconds of CLOCK_MONOTONIC.
std::int64_t MonotonicNs();

// The simulator's loop: reads the packets the namespace sends into the TUN,
// asks the network what becomes of each, and writes the answers at their
// scheduled times. The answers wait in a priority queue ordered by due time
// (then by the order they were made); the loop sleeps in ppoll until the
// first is due (timer slack 1 ns), writes every answer that is due, records
// each packet in the truth log at the time the kernel put it on the device
// (the wire tap's; where the tap missed it, the time the loop read it or
// took just before its write), and flushes the log only after the writes.
// Times are measured on CLOCK_MONOTONIC from `startNs`. The loop runs at a
// real-time priority (SCHED_FIFO) where it may.
//
// Owns nothing: the TUN descriptor, the tap, the network and the log must
// outlive it.
// One thread.
class Simulator {
 public:
  Simulator(int tun, WireTap& tap, Network& network, TruthLog& log, std::int64_t startNs);

  // Runs until `childDone` (a pidfd) becomes readable. A signal read from
  // `signals` (a signalfd) is passed on to `child`. Returns an error text,
  // empty when the loop ended because the child did.
  std::string Run(int childDone, int signals, pid_t child);

 private:
  struct Pending {
    Emission emission;
    std::uint64_t order = 0;
  };
  struct Later {
    bool operator()(const Pending& a, const Pending& b) const {
      return a.emission.dueNs != b.emission.dueNs ? a.emission.dueNs > b.emission.dueNs : a.order > b.order;
    }
  };

  std::int64_t Now() const { return MonotonicNs() - startNs_; }
  void SendDue();
  void ReadArrivals();

  int tun_;
  WireTap& tap_;
  Network& network_;
  TruthLog& log_;
  std::int64_t startNs_;
  std::priority_queue<Pending, std::vector<Pending>, Later> queue_;
  std::uint64_t made_ = 0;
  std::int64_t lastArrivalNs_ = 0;
  std::string writeError_;
};

}  // namespace netsim
