#include "graph/pagecaption.h"

#include <cfenv>
#include <cmath>

#include "base/extended.h"

namespace quorvel {

std::int64_t PageMinutes(std::int64_t intervalSeconds, std::int64_t pointsPerPage) {
  // volatile keeps each step rounded to long double, as the stored quotient was.
  volatile long double quotient = static_cast<long double>(intervalSeconds) / 60.0L;
  volatile long double minutes = quotient * static_cast<long double>(pointsPerPage);
  return static_cast<std::int64_t>(std::nearbyintl(minutes));  // ties to even
}

std::string PerPageCaption(std::int64_t intervalSeconds, std::int64_t pointsPerPage) {
  const std::int64_t m = PageMinutes(intervalSeconds, pointsPerPage);
  return "(" + std::to_string(m / 60) + " hr : " + std::to_string(m % 60) + " min per page)";
}

}  // namespace quorvel
