#include "icmp/clock.h"

#include <ctime>

namespace quorvel::icmp {
namespace {

std::int64_t Read(clockid_t id) {
  timespec t;
  ::clock_gettime(id, &t);
  return t.tv_sec * 1'000'000'000LL + t.tv_nsec;
}

}  // namespace

Instant SystemIcmpClock::Now() const { return {Read(CLOCK_MONOTONIC), Read(CLOCK_REALTIME)}; }

}  // namespace quorvel::icmp
