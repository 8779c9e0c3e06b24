#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "icmp/socket.h"

namespace quorvel {

// The address the ICMP engine probes for a target as typed: a literal as it
// is, a name through the system's resolver (its first address of `family`,
// 4 or 6, or of either for 0). None when the name does not resolve (or has
// no address of that family). Blocks for as long as the resolver takes:
// the agent resolves every name once, before its engine starts.
std::optional<icmp::Address> ResolveTarget(const std::string& target, int family);

using TargetResolver = std::function<std::optional<icmp::Address>(const std::string& target, int family)>;

// How long the agent waits for the names of its targets, as long as the
// ping child may take for a probe before it is killed.
inline constexpr std::chrono::seconds kResolveBound{10};

// Every target through `resolve`, one entry each: an address literal at
// once, names on threads of their own (at most 32 at a time), waiting at
// most `bound` for all of them, and no longer once `stop` says so. A name
// still pending then counts as one that does not resolve; its thread is
// left to end on its own (a resolver that hangs holds nobody up).
std::vector<std::optional<icmp::Address>> ResolveTargets(const std::vector<std::string>& targets, int family,
                                                         const TargetResolver& resolve,
                                                         std::chrono::milliseconds bound,
                                                         const std::function<bool()>& stop);

}  // namespace quorvel
