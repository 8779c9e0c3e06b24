#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "icmp/socket.h"

namespace quorvel::icmp {

enum class SocketPreference : std::uint8_t {
  Auto,      // a datagram socket where the group may open one, else raw
  Datagram,  // only a datagram socket
  Raw,       // only a raw socket
};

struct SocketOpen {
  enum class Status : std::uint8_t {
    Ok,
    // Neither socket kind is allowed: `message` names both remedies (the
    // sysctl net.ipv4.ping_group_range and setcap cap_net_raw+ep).
    NoPermission,
    Unavailable,  // the family or ICMP sockets are missing from this kernel
    Failed,       // anything else; `message` has the system's text
  };
  Status status = Status::Failed;
  std::unique_ptr<IcmpSocket> socket;
  std::string message;
  int error = 0;  // the errno behind a failure
};

// Receive and send buffer sizes asked for; the kernel may grant less (see
// SocketInfo::receiveBufferBytes).
struct SocketSizing {
  int receiveBufferBytes = 256 * 1024;
  int sendBufferBytes = 256 * 1024;
};

// Opens a non-blocking ICMP socket of `family` through the kernel and sets it
// up: the echo identifier (the kernel's on a datagram socket, a random one on
// a raw socket, which also filters out every ICMP type but echo replies),
// errors on the error queue (IP_RECVERR / IPV6_RECVERR), kernel software
// timestamps for sending and receiving (SO_TIMESTAMPING, or SO_TIMESTAMPNS
// for receiving only where that is refused), the count of receive overruns,
// and the buffer sizes (forced where the process may).
SocketOpen OpenKernelSocket(Family family, SocketPreference preference, SocketSizing sizing = {});

// The message of SocketOpen::NoPermission for `family`, with the range the
// sysctl holds now and the path of this program.
std::string NoPermissionMessage(Family family);

}  // namespace quorvel::icmp
