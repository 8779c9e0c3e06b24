#pragma once

#include <string>
#include <vector>

namespace quorvel::icmp::testing {

// Moves this process into a network namespace of its own, with loopback up,
// so that a test may open ping sockets (net.ipv4.ping_group_range there) and
// add devices without touching the host. Done once per process; empty when
// it worked, otherwise why not (the tests then skip).
const std::string& EnterPrivateNetwork();

// Writes net.ipv4.ping_group_range of this process's namespace.
bool SetPingGroupRange(const std::string& range);

// Runs a program (found on PATH) without a shell and waits for it; its exit
// status, or -1.
int RunProgram(const std::vector<std::string>& argv);

// Runs `body` in a child process that has given up root for the user and
// group nobody; its exit status (the body's return value), or -1.
int RunAsNobody(int (*body)());

// Inside the private namespace: a veth pair whose two ends are both local
// (192.0.2.1 and 2001:db8::1 on one, 192.0.2.2 and 2001:db8::2 on the
// other), with forwarding on and 198.51.100.0/24 and 2001:db8:1::1 routed
// out of the first end. A probe to those arrives back on the second end and
// is forwarded out again until its TTL runs out: every hop answers "time
// exceeded", from an address of the pair. Done once per process; empty when
// it worked, else why not.
const std::string& AddLoopingRoute();

}  // namespace quorvel::icmp::testing
