#include "graph/filenamefilter.h"

#include <string_view>

namespace quorvel {

bool RefusedInFileName(char32_t c) {
  constexpr std::u32string_view kRefused = U"\"*/:<>?\\|";
  return kRefused.find(c) != std::u32string_view::npos;
}

}  // namespace quorvel
