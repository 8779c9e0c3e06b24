#pragma once

#include <cstdint>

#include "icmp/result.h"

namespace quorvel::icmp {

// What the engine knows of one probe's times.
struct ProbeTimes {
  std::int64_t sentMonoNs = 0;  // the monotonic clock just before sending
  std::int64_t sentWallNs = 0;  // the wall clock at the same moment
  std::int64_t txKernelNs = 0;  // the kernel's transmit timestamp, 0 when none came
};

struct RoundTrip {
  std::int64_t ns = 0;
  StampSource source = StampSource::User;
};

// The round trip of a probe answered at `rxKernelNs` (0 when the reply came
// without a kernel timestamp) and read at `readMonoNs`: the two kernel
// stamps where both exist, else the kernel's receive stamp against the wall
// clock at sending, else the monotonic clock at both ends. A kernel figure
// below 0 or beyond what the monotonic clock saw (the wall clock was set
// meanwhile) gives way to the monotonic one.
RoundTrip ChooseRoundTrip(const ProbeTimes& probe, std::int64_t rxKernelNs, std::int64_t readMonoNs);

// The kind of a send failure from its errno.
ProbeError SendErrorKind(int error);

// The kind of an ICMP error of `family` from its type.
ProbeError IcmpErrorKind(Family family, std::uint8_t type);

}  // namespace quorvel::icmp
