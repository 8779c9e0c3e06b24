#include "probe/replysummary.h"

namespace quorvel {

std::string ShortReplyLine(std::string_view line) {
  constexpr std::string_view kReply = "Reply from ";
  if (line.substr(0, kReply.size()) != kReply) return std::string(line);
  const std::size_t colon = line.find(": ", kReply.size());
  if (colon == std::string_view::npos) return std::string(line);
  std::size_t time = line.find(" time=", colon);
  if (time == std::string_view::npos) time = line.find(" time<", colon);
  if (time == std::string_view::npos) return std::string(line);

  // The value runs up to the next blank; its unit, "ms", is set apart.
  std::string_view value = line.substr(time + 6);
  value = value.substr(0, value.find(' '));
  if (value.size() > 2 && value.substr(value.size() - 2) == "ms") value.remove_suffix(2);
  if (value.empty()) return std::string(line);

  std::string out(line.substr(0, colon + 2));
  out += line.substr(time + 1, 5);  // "time=" or "time<"
  out += value;
  out += " ms";
  return out;
}

}  // namespace quorvel
