#include "icmp/roundtrip.h"

#include <cerrno>

namespace quorvel::icmp {
namespace {

// How far a kernel figure may exceed the monotonic one: the two clocks are
// read a few nanoseconds apart at sending, so any real excess is a step of
// the wall clock.
constexpr std::int64_t kClockSlackNs = 1'000'000;

}  // namespace

RoundTrip ChooseRoundTrip(const ProbeTimes& probe, std::int64_t rxKernelNs, std::int64_t readMonoNs) {
  const RoundTrip user{readMonoNs - probe.sentMonoNs, StampSource::User};
  if (rxKernelNs == 0) return user;
  const RoundTrip kernel = probe.txKernelNs != 0 ? RoundTrip{rxKernelNs - probe.txKernelNs, StampSource::Kernel}
                                                 : RoundTrip{rxKernelNs - probe.sentWallNs, StampSource::KernelReceive};
  if (kernel.ns < 0 || kernel.ns > user.ns + kClockSlackNs) return user;
  return kernel;
}

ProbeError SendErrorKind(int error) {
  switch (error) {
    case EAGAIN:
    case ENOBUFS: return ProbeError::BufferFull;
    case EHOSTUNREACH:
    case ENETUNREACH:
    case EHOSTDOWN:
    case ENETDOWN: return ProbeError::Unreachable;
    case EACCES:
    case EPERM: return ProbeError::Refused;
    case EMSGSIZE: return ProbeError::TooBig;
    default: return ProbeError::SendFailed;
  }
}

ProbeError IcmpErrorKind(Family family, std::uint8_t type) {
  if (type == (family == Family::V4 ? kUnreachableV4 : kUnreachableV6)) return ProbeError::IcmpUnreachable;
  if (type == (family == Family::V4 ? kTimeExceededV4 : kTimeExceededV6)) return ProbeError::IcmpTimeExceeded;
  return ProbeError::IcmpOther;
}

}  // namespace quorvel::icmp
