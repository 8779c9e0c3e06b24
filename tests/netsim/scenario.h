#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "models.h"
#include "packets.h"

namespace netsim {

enum class Corruption { Payload, Identifier, Checksum };

// How a target treats the echo requests that reach it. The fates are tried
// in this order, the first that happens wins: silence, unreachable, loss,
// late, corrupted, duplicated, reordered; otherwise a plain reply.
struct Profile {
  std::string name;
  DelayModel delay;             // the round trip the target itself adds
  LossModel loss;
  bool silent = false;          // never answers
  Chance unreachable;           // destination unreachable instead of a reply
  Chance late;                  // the reply after `lateDelay` instead of `delay`
  DelayModel lateDelay;
  Chance corrupt;               // a spoilt reply instead of a good one
  std::vector<Corruption> corruptions{Corruption::Payload};  // taken in turn
  Chance duplicate;             // a second copy `duplicateAfter` after the first
  DelayModel duplicateAfter;
  Chance reorder;               // the reply held back by `reorderExtra` more
  DelayModel reorderExtra;
};

// A router in front of targets: it adds its delay to every round trip
// through it, loses packets by its loss model, and answers a packet whose
// TTL runs out there with time exceeded, at most `icmpPerSecond` a second
// (bursts of `icmpBurst`; 0: no limit).
struct Router {
  std::string name;
  IpAddress address;
  DelayModel delay;
  LossModel loss;
  double icmpPerSecond = 0;
  double icmpBurst = 1;
};

// From `atNs` (after the simulator started) on, the target takes another
// profile and/or path.
struct Change {
  std::int64_t atNs = 0;
  std::optional<std::size_t> profile;            // index into Scenario::profiles
  std::optional<std::vector<std::size_t>> path;  // indices into Scenario::routers
};

struct Target {
  IpAddress address;
  std::size_t profile = 0;
  std::vector<std::size_t> path;  // the routers from the host outwards
  std::vector<Change> changes;    // in time order
};

struct Scenario {
  IpAddress hostV4;  // the addresses of the namespace's own side of the TUN
  IpAddress hostV6;
  std::vector<Profile> profiles;
  std::vector<Router> routers;
  std::vector<Target> targets;
};

struct ScenarioResult {
  std::optional<Scenario> scenario;
  std::string error;  // what is wrong and where, when there is no scenario
};

// Reads a scenario from its JSON text (see README.md for the format).
ScenarioResult ParseScenario(const std::string& text);
// The same from the file at `path`; the error names the file.
ScenarioResult ReadScenario(const std::string& path);

}  // namespace netsim
