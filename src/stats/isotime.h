#pragma once

#include <cstdint>
#include <string>

namespace quorvel {

// a / b rounded down (towards minus infinity), for b > 0.
std::int64_t FloorDiv(std::int64_t a, std::int64_t b);

// The local time of an instant in ISO 8601 with milliseconds and the offset
// from UTC: 1,733,666,709,123 ms at +60 min is "2024-12-08T15:05:09.123+01:00".
// Any instant of the proleptic Gregorian calendar, also before 1970.
std::string FormatIsoLocal(std::int64_t unixMs, std::int32_t utcOffsetSeconds);

}  // namespace quorvel
