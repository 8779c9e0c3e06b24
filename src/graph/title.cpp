#include "graph/title.h"

namespace quorvel {

std::string ComposeTitle(const TitleParts& parts) {
  std::string title = parts.text;
  if (parts.appendAddress) title += parts.address;
  if (parts.appendInterval) {
    title += " - " + std::to_string(parts.intervalSeconds) + " sec. interval";
  }
  return title;
}

}  // namespace quorvel
