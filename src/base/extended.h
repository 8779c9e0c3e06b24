#pragma once

#include <limits>

// Some figures of the program are fixed by the rounding of the x87 extended
// format (a 64-bit significand): the image-size rule, the gray conversion
// and the page duration round each step to it. The program therefore builds
// only where long double is that format: x86 and x86-64 with GCC or Clang.
// A translation unit that rounds this way includes this header.
static_assert(std::numeric_limits<long double>::digits == 64,
              "long double must be the x87 extended format (64-bit significand): "
              "build on x86 or x86-64");
