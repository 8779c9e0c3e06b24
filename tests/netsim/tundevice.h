#pragma once

#include <string>

#include "packets.h"

namespace netsim {

// The name of the TUN device inside the namespace.
inline constexpr const char* kTunName = "qvsim0";

// Moves the calling process into a new network namespace of its own
// (unshare(CLONE_NEWNET), so nothing done afterwards can reach any other
// network), brings lo up, creates the TUN device with `hostV4`/32 and
// `hostV6`/128 on it, routes the four documentation prefixes into it and
// lets every group open ICMP datagram sockets (net.ipv4.ping_group_range)
// in this namespace only. Returns the TUN's descriptor (non-blocking,
// close-on-exec), or -1 with `error` saying what could not be done.
// Call before any thread exists: unshare moves only the calling thread.
int MakeSimulatedNetwork(const IpAddress& hostV4, const IpAddress& hostV6, std::string& error);

}  // namespace netsim
