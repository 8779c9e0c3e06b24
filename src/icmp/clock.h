#pragma once

#include <cstdint>

namespace quorvel::icmp {

// One reading of the two clocks the engine needs: the monotonic one for
// deadlines and pacing, the wall clock for the time of a row and for
// comparing with the kernel's timestamps (which are wall-clock times).
struct Instant {
  std::int64_t monoNs = 0;
  std::int64_t wallNs = 0;
};

// The source of "now" for the engine; tests pass one they move by hand.
class IcmpClock {
 public:
  virtual ~IcmpClock() = default;
  virtual Instant Now() const = 0;
};

// CLOCK_MONOTONIC (the clock of std::chrono::steady_clock) and CLOCK_REALTIME.
class SystemIcmpClock final : public IcmpClock {
 public:
  Instant Now() const override;
};

}  // namespace quorvel::icmp
