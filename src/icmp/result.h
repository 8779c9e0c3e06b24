#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "icmp/socket.h"

namespace quorvel::icmp {

// How a probe ended, or what a later reply to it was.
enum class Outcome : std::uint8_t {
  Reply,      // answered within the timeout: rttNs holds the round trip
  Lost,       // no reply by its deadline (sent + timeout)
  Late,       // a reply to a probe already reported Lost; comes once per probe
  Duplicate,  // a further copy of a reply already reported (Reply or Late)
  Error,      // the probe could not be sent, or the network answered with an error
};
const char* OutcomeName(Outcome outcome);  // "reply", "lost", "late", "duplicate", "error"

enum class ProbeError : std::uint8_t {
  None,
  BufferFull,    // EAGAIN or ENOBUFS on sending: counted, not retried
  Unreachable,   // the kernel has no route (EHOSTUNREACH, ENETUNREACH...)
  Refused,       // EACCES or EPERM: a local firewall, or a broadcast address
  TooBig,        // EMSGSIZE
  SendFailed,    // any other errno on sending
  IcmpUnreachable,   // a router (or the host) answered "destination unreachable"
  IcmpTimeExceeded,  // a router answered "time exceeded" (a routing loop)
  IcmpOther,         // another ICMP error about the probe
  NoSocket,      // no socket for the target's family
};

// One event of one probe, as the engine reports it. Each probe sent ends in
// exactly one Reply, Lost or Error; Late and Duplicate are extra events about
// a probe that already ended and must not be counted as probes.
struct ProbeResult {
  std::uint32_t target = 0;     // the index of the target, in the order given
  std::uint64_t sequence = 0;   // the probe's number for its target, from 0
  Outcome outcome = Outcome::Lost;
  std::int64_t rttNs = 0;       // Reply, Late, Duplicate: the round trip
  StampSource stamp = StampSource::User;  // where rttNs comes from
  std::int64_t sentUnixNs = 0;  // the wall-clock time the probe was sent
  ProbeError error = ProbeError::None;  // Error
  int systemError = 0;          // Error on sending: the errno
  std::uint8_t icmpType = 0;    // Error from the network: the ICMP type and code,
  std::uint8_t icmpCode = 0;    // and who sent it
  Address from;
};

// What an Error says, for a row or a log: "no route to host (sending)",
// "destination host unreachable, from 192.0.2.1". Empty for other outcomes.
std::string DescribeError(const ProbeResult& result);

// The text of an ICMP error type and code of `family`: "time exceeded",
// "destination host unreachable", "administratively prohibited"...
std::string IcmpErrorText(Family family, std::uint8_t type, std::uint8_t code);

// Receives every result, on the engine's loop thread, in the order the
// engine saw them. Time it spends is the loop's: keep it short.
using ResultSink = std::function<void(const ProbeResult&)>;

}  // namespace quorvel::icmp
