#include "run/timeformat.h"

#include <cstdio>
#include <ctime>

namespace quorvel {

LocalTime SystemLocalClock::Now() const {
  // One reading of the clock gives both the local fields and the Unix time,
  // so they always stand for the same instant.
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  const std::time_t now = ts.tv_sec;
  std::tm tm{};
  localtime_r(&now, &tm);
  LocalTime t;
  t.year = tm.tm_year + 1900;
  t.month = tm.tm_mon + 1;
  t.day = tm.tm_mday;
  t.weekday = tm.tm_wday;
  t.hour = tm.tm_hour;
  t.minute = tm.tm_min;
  t.second = tm.tm_sec;
  t.unixMs = static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1'000'000;
  t.utcOffsetSeconds = static_cast<std::int32_t>(tm.tm_gmtoff);
  return t;
}

std::string ShortDayName(int weekday) {
  std::tm tm{};
  tm.tm_wday = ((weekday % 7) + 7) % 7;
  char buffer[64];
  const std::size_t n = std::strftime(buffer, sizeof buffer, "%a", &tm);
  return std::string(buffer, n);
}

std::string ShortMonthName(int month) {
  std::tm tm{};
  tm.tm_mon = (((month - 1) % 12) + 12) % 12;
  char buffer[64];
  const std::size_t n = std::strftime(buffer, sizeof buffer, "%b", &tm);
  return std::string(buffer, n);
}

namespace {

std::string TwoDigits(int v) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%02d", v);
  return buffer;
}

}  // namespace

std::string FormatDayDate(const LocalTime& t) {
  return ShortDayName(t.weekday) + " " + TwoDigits(t.day) + " " + ShortMonthName(t.month);
}

std::string FormatLogStamp(const LocalTime& t) {
  char year[16];
  std::snprintf(year, sizeof year, "%04d", t.year);
  return FormatDayDate(t) + " " + year + "  " + TwoDigits(t.hour) + ":" + TwoDigits(t.minute) +
         ":" + TwoDigits(t.second);
}

std::string FormatCaptureStamp(const LocalTime& t) {
  char year[16];
  std::snprintf(year, sizeof year, "%04d", t.year);
  return std::string("-") + year + ShortMonthName(t.month) + TwoDigits(t.day) + "-" +
         TwoDigits(t.hour) + TwoDigits(t.minute);
}

}  // namespace quorvel
