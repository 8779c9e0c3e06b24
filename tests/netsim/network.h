#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "models.h"
#include "packets.h"
#include "scenario.h"

namespace netsim {

// What became of a packet that came out of the TUN.
enum class Fate {
  Replied, Lost, Duplicated, Corrupted, Late, Reordered, Exceeded, Unreachable,
  Ignored,  // not an echo request, and no router's TTL check applied
};
const char* FateName(Fate fate);

// A packet the simulator will write into the TUN at `dueNs`.
struct Emission {
  std::int64_t dueNs = 0;
  Bytes packet;
  std::string type;  // "echo-reply", "time-exceeded", "unreachable"
  IpAddress source;
  IpAddress destination;
  std::uint16_t identifier = 0;  // as written (a spoilt one for a wrong identifier)
  std::uint16_t sequence = 0;
  int ttl = 0;
  Fate fate = Fate::Replied;     // that of the request it answers
  std::uint64_t request = 0;     // the number of that request
  std::int64_t requestNs = 0;    // when that request arrived
  int copy = 1;                  // 2 for the second copy of a duplicated reply
  std::string corruption;        // "payload", "identifier", "checksum" or empty
};

// The simulator's decision about one arrived packet: its truth, and what it
// causes to be sent.
struct Decision {
  std::uint64_t number = 0;  // packets are numbered from 1 in arrival order
  Fate fate = Fate::Ignored;
  std::string reason;        // for a loss: "loss", "silent", "router NAME", "no target", "rate limit"
  std::optional<IpAddress> router;  // where an exceeded TTL ran out
  std::int64_t delayNs = -1;        // the scheduled time to the (first) answer, when one was scheduled
  std::string corruption;
  std::vector<Emission> emissions;
};

// The simulated targets and routers of a scenario and all their state: the
// draws of every model come from one generator per target and per router,
// seeded from the run's seed and its index, so that the same seed and the
// same packets give the same choices whatever the interleaving of targets.
// Times are nanoseconds since the simulator started. Not thread-safe.
class Network {
 public:
  Network(const Scenario& scenario, std::uint64_t seed);
  ~Network();
  Network(const Network&) = delete;
  Network& operator=(const Network&) = delete;

  Decision Receive(const Packet& packet, std::int64_t nowNs);

 private:
  struct TargetState;
  struct RouterState;

  Decision Echo(TargetState& target, const Packet& packet, std::int64_t nowNs, Decision d);
  std::uint16_t OtherIdentifier(std::uint16_t identifier, std::int64_t nowNs) const;

  const Scenario& scenario_;
  std::vector<std::unique_ptr<TargetState>> targets_;
  std::vector<std::unique_ptr<RouterState>> routers_;
  std::map<IpAddress, std::size_t> byAddress_;
  std::map<std::uint16_t, std::int64_t> identifierSeen_;  // echo identifiers and when last seen
  std::uint64_t count_ = 0;
};

}  // namespace netsim
