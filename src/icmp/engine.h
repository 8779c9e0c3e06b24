#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "icmp/clock.h"
#include "icmp/echoprober.h"
#include "icmp/kernelsocket.h"
#include "icmp/result.h"

namespace quorvel::icmp {

class ProbeLoop;

inline constexpr std::chrono::milliseconds kMinEchoInterval{10};

struct EchoOptions {
  std::chrono::nanoseconds interval = std::chrono::seconds(1);  // kMinEchoInterval and up
  std::chrono::nanoseconds timeout = std::chrono::milliseconds(800);
  std::uint64_t count = 0;  // probes per target; 0: until Stop
  std::size_t payloadBytes = 56;
  int ttl = 0;  // the TTL or hop limit of every probe, 1 to 255; 0: the system's
  SocketPreference socket = SocketPreference::Auto;
  // The loop wakes at most once per this, sending every probe due by then:
  // each wake-up costs a timer and a context switch, worth a few microseconds.
  std::chrono::nanoseconds pacing = std::chrono::milliseconds(2);
  // Replies up to this long after their deadline are told apart as late.
  std::chrono::nanoseconds lateWindow = std::chrono::seconds(5);
};

// Empty when the options can run with `targets` targets, else what is wrong.
std::string CheckEchoOptions(const EchoOptions& options, std::size_t targets);

struct EngineStatus {
  enum class Code : std::uint8_t {
    Ok,
    NoPermission,  // no ICMP socket allowed: fall back to the ping child
    Unavailable,   // the family is missing here
    BadOptions,
    Failed,
  };
  Code code = Code::Ok;
  std::string message;
  bool Ok() const { return code == Code::Ok; }
};

// The sockets an engine opened, one per family its targets need.
struct EngineInfo {
  std::optional<SocketInfo> v4;
  std::optional<SocketInfo> v6;
};
// "IPv4 raw socket, IPv6 datagram socket; kernel timestamps": for the report
// and the info metric. The timestamps named are the best every socket has.
std::string DescribeEngine(const EngineInfo& info);
// The timestamp source every socket was set up for (the weakest of them).
StampSource EngineStamps(const EngineInfo& info);

// What an engine is given from outside, so that tests and benchmarks can
// replace the sockets and the clock.
struct EngineDependencies {
  std::function<SocketOpen(Family, SocketPreference, SocketSizing)> openSocket = OpenKernelSocket;
  std::shared_ptr<const IcmpClock> clock = std::make_shared<SystemIcmpClock>();
  std::uint64_t token = 0;  // the tag of this run; 0 draws one at random
};

// A tag for one run's probes: random, never 0.
std::uint64_t RandomToken();

// The sizes of socket buffers for `probesPerSecond` probes a second: room
// for the replies and the transmit timestamps of half a second, so that a
// loop held up that long by a busy machine loses nothing.
SocketSizing SizingFor(double probesPerSecond);

// The targets as the engines probe them: an IPv4-mapped IPv6 address
// (::ffff:192.0.2.1) becomes the IPv4 address it maps, which the IPv4
// socket probes and which answers from that address.
std::vector<Address> Normalised(std::vector<Address> targets);

// The sockets of an engine, one per family its targets need.
struct EngineSockets {
  std::unique_ptr<IcmpSocket> v4;
  std::unique_ptr<IcmpSocket> v6;
  EngineInfo Info() const;
  std::vector<int> Handles() const;
};

// Opens a socket for each family among `targets`, sized for each target
// probed `perTargetPerSecond` times a second. On failure none is left open.
EngineStatus OpenEngineSockets(const std::vector<Address>& targets, double perTargetPerSecond,
                               SocketPreference preference, const EngineDependencies& dependencies,
                               EngineSockets& sockets);

// Echo probing of many targets with one ICMP socket per address family and
// one event loop thread (see EchoProber for the schedule and the matching).
// Every probe ends in exactly one Reply, Lost or Error result, handed to the
// sink on the loop thread; Late and Duplicate results come on top.
//
// Thread: construction, Start, Stop, Wait and the destructor on one thread
// (never from the sink); once Start has returned, Finished, Info and
// Counters from any thread. The sink must not call Stop or Wait.
class EchoEngine {
 public:
  EchoEngine(EchoOptions options, std::vector<Address> targets, ResultSink sink, EngineDependencies dependencies = {});
  ~EchoEngine();
  EchoEngine(const EchoEngine&) = delete;
  EchoEngine& operator=(const EchoEngine&) = delete;

  // Checks the options, opens the sockets and starts the loop; the first
  // probe goes out at once. NoPermission carries the message naming both
  // remedies; nothing is left running after a failure.
  EngineStatus Start();
  // Ends probing soon; probes still waiting for a reply are dropped without
  // a result. Safe twice, and before Start.
  void Stop();
  // Returns once the loop has ended: every target made `count` probes and
  // each probe ended, or Stop was called.
  void Wait();
  bool Finished() const;

  EngineInfo Info() const;
  EchoCounters Counters() const;

 private:
  EchoOptions options_;
  std::vector<Address> targets_;
  ResultSink sink_;
  EngineDependencies dependencies_;
  EngineSockets sockets_;
  std::unique_ptr<EchoProber> prober_;
  std::unique_ptr<ProbeLoop> loop_;
  mutable std::mutex mutex_;  // guards the copy below
  EchoCounters published_;
  EngineInfo info_;
};

}  // namespace quorvel::icmp
