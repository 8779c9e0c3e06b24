#include "graph/title.h"

#include <algorithm>

namespace quorvel {

std::string ComposeTitle(const TitleParts& parts) {
  std::string title = parts.text;
  if (parts.appendAddress) title += parts.address;
  if (parts.appendInterval) {
    title += " - " + std::to_string(parts.intervalSeconds) + " sec. interval";
  }
  return title;
}

std::string TitleFromStored(std::string stored) {
  std::replace(stored.begin(), stored.end(), '^', ' ');
  return stored;
}

}  // namespace quorvel
