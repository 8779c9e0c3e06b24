#pragma once

#include <cstdint>
#include <string>

namespace quorvel {

// What the chart title is made of: the text of the title box, the address
// box and the interval box, and the two append switches.
struct TitleParts {
  std::string text;
  bool appendAddress = true;
  std::string address;
  bool appendInterval = true;
  std::int64_t intervalSeconds = 10;
};

// The one-line chart title: the title text, then the address exactly as
// typed (no separator), then " - " N " sec. interval".
std::string ComposeTitle(const TitleParts& parts);

}  // namespace quorvel
