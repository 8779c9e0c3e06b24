#pragma once

#include <cstdint>
#include <string>

namespace quorvel {

// Minutes one page of points lasts: interval / 60 x points, each step in
// extended precision (64-bit significand), rounded to the nearest whole
// minute with halves to even.
std::int64_t PageMinutes(std::int64_t intervalSeconds, std::int64_t pointsPerPage);

// "(h hr : m min per page)" for those minutes.
std::string PerPageCaption(std::int64_t intervalSeconds, std::int64_t pointsPerPage);

}  // namespace quorvel
