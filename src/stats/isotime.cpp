#include "stats/isotime.h"

#include <cstdio>
#include <cstdlib>

namespace quorvel {

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
  std::int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

namespace {

struct CivilDate {
  std::int64_t year;
  unsigned month;
  unsigned day;
};

// Days since 1970-01-01 to a Gregorian date (the well-known era algorithm:
// 400-year eras of 146,097 days, years starting in March).
CivilDate CivilFromDays(std::int64_t days) {
  days += 719468;
  const std::int64_t era = FloorDiv(days, 146097);
  const auto dayOfEra = static_cast<unsigned>(days - era * 146097);
  const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const unsigned mp = (5 * dayOfYear + 2) / 153;
  const unsigned day = dayOfYear - (153 * mp + 2) / 5 + 1;
  const unsigned month = mp < 10 ? mp + 3 : mp - 9;
  const std::int64_t year = static_cast<std::int64_t>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0);
  return {year, month, day};
}

}  // namespace

std::string FormatIsoLocal(std::int64_t unixMs, std::int32_t utcOffsetSeconds) {
  const std::int64_t local = unixMs + static_cast<std::int64_t>(utcOffsetSeconds) * 1000;
  const std::int64_t days = FloorDiv(local, 86'400'000);
  const std::int64_t msOfDay = local - days * 86'400'000;
  const CivilDate date = CivilFromDays(days);
  const long offsetMinutes = std::labs(static_cast<long>(utcOffsetSeconds)) / 60;
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%04lld-%02u-%02uT%02d:%02d:%02d.%03d%c%02ld:%02ld",
                static_cast<long long>(date.year), date.month, date.day,
                static_cast<int>(msOfDay / 3'600'000), static_cast<int>(msOfDay / 60'000 % 60),
                static_cast<int>(msOfDay / 1000 % 60), static_cast<int>(msOfDay % 1000),
                utcOffsetSeconds < 0 ? '-' : '+', offsetMinutes / 60, offsetMinutes % 60);
  return buffer;
}

}  // namespace quorvel
