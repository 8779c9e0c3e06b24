#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "icmp/engine.h"
#include "icmp/nameresolver.h"
#include "icmp/pathprober.h"

namespace quorvel::icmp {

struct PathOptions {
  std::chrono::nanoseconds interval = std::chrono::seconds(1);  // between rounds; kMinEchoInterval and up
  std::chrono::nanoseconds timeout = std::chrono::seconds(2);
  int maxHops = kMaxHops;      // 1 to 64
  std::uint64_t rounds = 0;    // rounds per target; 0: until Stop
  std::size_t payloadBytes = 56;
  SocketPreference socket = SocketPreference::Auto;
  std::chrono::nanoseconds pacing = std::chrono::milliseconds(1);
  bool names = false;  // look up the names of the hops (never holding up the probes)
};

// Empty when the options can run with `targets` targets, else what is wrong.
std::string CheckPathOptions(const PathOptions& options, std::size_t targets);

// Path discovery to a few targets (see PathProber) with one ICMP socket per
// address family and one event loop thread. Each probe that ends is handed
// to the sink on the loop thread (a row per hop per round); the figures of
// every hop are read with Snapshot.
//
// Thread: construction, Start, Stop, Wait and the destructor on one thread;
// once Start has returned, Finished, Info and Snapshot from any thread but
// the sink's (the sink runs while the figures are locked).
class PathEngine {
 public:
  PathEngine(PathOptions options, std::vector<Address> targets, HopSink sink, EngineDependencies dependencies = {});
  ~PathEngine();
  PathEngine(const PathEngine&) = delete;
  PathEngine& operator=(const PathEngine&) = delete;

  EngineStatus Start();
  void Stop();
  void Wait();
  bool Finished() const;

  EngineInfo Info() const;
  // The figures of every target's path, in the order given; hop names where
  // they were asked for and have been found.
  std::vector<PathSnapshot> Snapshot() const;
  // The size of a probe's IP packet to `target` (for the JSON report).
  std::size_t PacketBytes(const Address& target) const;

 private:
  PathOptions options_;
  std::vector<Address> targets_;
  HopSink sink_;
  EngineDependencies dependencies_;
  EngineSockets sockets_;
  std::unique_ptr<NameResolver> names_;
  mutable std::mutex mutex_;  // guards the prober between the loop and Snapshot
  std::unique_ptr<PathProber> prober_;
  std::unique_ptr<ProbeLoop> loop_;
  EngineInfo info_;
};

}  // namespace quorvel::icmp
