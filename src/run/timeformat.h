#pragma once

#include <cstdint>
#include <string>

namespace quorvel {

// A local date and time of day.
struct LocalTime {
  int year = 2000;
  int month = 1;    // 1..12
  int day = 1;      // 1..31
  int weekday = 6;  // 0 = Sunday
  int hour = 0;
  int minute = 0;
  int second = 0;
  // The same instant on the Unix time line, in milliseconds, and the local
  // offset from UTC in effect then. Only the system clock sets them; a clock
  // that tells only the local time leaves them 0.
  std::int64_t unixMs = 0;
  std::int32_t utcOffsetSeconds = 0;

  std::uint32_t SecondsOfDay() const {
    return static_cast<std::uint32_t>(hour * 3600 + minute * 60 + second);
  }
};

// The local date and time of "now", for everything that stamps a time
// (points, log lines, file names, rows); tests pass a fixed one. Not a
// clock to measure durations with: that is std::chrono::steady_clock.
class LocalClock {
 public:
  virtual ~LocalClock() = default;
  virtual LocalTime Now() const = 0;
};

// The desktop's local time.
class SystemLocalClock final : public LocalClock {
 public:
  LocalTime Now() const override;
};

// Short day and month names of the process locale ("Mon", "Dec" in English).
std::string ShortDayName(int weekday);
std::string ShortMonthName(int month);

// "ddd dd mmm", as in "Mon 07 Dec".
std::string FormatDayDate(const LocalTime& t);
// "ddd dd mmm yyyy  hh:nn:ss", as in "Mon 07 Dec 2026  14:05:09".
std::string FormatLogStamp(const LocalTime& t);
// "-yyyymmmdd-hhmm", as in "-2024Mar05-1437".
std::string FormatCaptureStamp(const LocalTime& t);

}  // namespace quorvel
