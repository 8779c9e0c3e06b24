#pragma once

#include "run/timeformat.h"

// Tuesday 5 March 2024, 14:37:00.
inline constexpr quorvel::LocalTime kTuesday5March2024{2024, 3, 5, 2, 14, 37, 0};
// Monday 7 December 2026, 14:05:09.
inline constexpr quorvel::LocalTime kMonday7December2026{2026, 12, 7, 1, 14, 5, 9};

// A clock that always tells the same time; tests may move it.
class FixedClock final : public quorvel::LocalClock {
 public:
  explicit FixedClock(quorvel::LocalTime at = kTuesday5March2024) : time(at) {}
  quorvel::LocalTime Now() const override { return time; }

  quorvel::LocalTime time;
};
