#pragma once

#include <optional>
#include <string>

#include "icmp/socket.h"

namespace quorvel {

// The address the ICMP engine probes for a target as typed: a literal as it
// is, a name through the system's resolver (its first address of `family`,
// 4 or 6, or of either for 0). None when the name does not resolve (or has
// no address of that family). Blocks for as long as the resolver takes:
// the agent resolves every name once, before its engine starts.
std::optional<icmp::Address> ResolveTarget(const std::string& target, int family);

}  // namespace quorvel
