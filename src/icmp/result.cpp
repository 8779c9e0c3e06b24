#include "icmp/result.h"

#include <cerrno>
#include <cstring>

namespace quorvel::icmp {

const char* OutcomeName(Outcome outcome) {
  switch (outcome) {
    case Outcome::Reply: return "reply";
    case Outcome::Lost: return "lost";
    case Outcome::Late: return "late";
    case Outcome::Duplicate: return "duplicate";
    case Outcome::Error: return "error";
  }
  return "error";
}

std::string IcmpErrorText(Family family, std::uint8_t type, std::uint8_t code) {
  if (family == Family::V4) {
    if (type == kTimeExceededV4) return "time exceeded";
    if (type == kUnreachableV4) {
      switch (code) {
        case 0: return "destination net unreachable";
        case 1: return "destination host unreachable";
        case 2: return "destination protocol unreachable";
        case 3: return "destination port unreachable";
        case 4: return "fragmentation needed";
        case 9: case 10: case 13: return "administratively prohibited";
        default: return "destination unreachable (code " + std::to_string(code) + ")";
      }
    }
  } else {
    if (type == kTimeExceededV6) return "time exceeded";
    if (type == 2) return "packet too big";
    if (type == kUnreachableV6) {
      switch (code) {
        case 0: return "no route to destination";
        case 1: return "administratively prohibited";
        case 3: return "destination address unreachable";
        case 4: return "destination port unreachable";
        case 5: return "source address failed policy";
        case 6: return "reject route to destination";
        default: return "destination unreachable (code " + std::to_string(code) + ")";
      }
    }
  }
  return "ICMP error type " + std::to_string(type) + " code " + std::to_string(code);
}

std::string DescribeError(const ProbeResult& r) {
  if (r.outcome != Outcome::Error) return {};
  switch (r.error) {
    case ProbeError::None: return "error";
    case ProbeError::NoSocket: return "no ICMP socket for this address family";
    case ProbeError::IcmpUnreachable:
    case ProbeError::IcmpTimeExceeded:
    case ProbeError::IcmpOther:
      return IcmpErrorText(r.from.is_v6() ? Family::V6 : Family::V4, r.icmpType, r.icmpCode) + ", from " +
             r.from.to_string();
    default: break;
  }
  const char* what = r.error == ProbeError::BufferFull ? "send buffer full"
                     : r.error == ProbeError::Unreachable ? "unreachable"
                     : r.error == ProbeError::Refused ? "refused"
                     : r.error == ProbeError::TooBig ? "message too long"
                                                     : "send failed";
  return std::string(what) + " (" + std::strerror(r.systemError) + ")";
}

}  // namespace quorvel::icmp
