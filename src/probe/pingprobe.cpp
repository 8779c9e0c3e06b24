#include "probe/pingprobe.h"

#include <algorithm>
#include <charconv>

namespace quorvel {

std::int32_t PingTimeoutFor(std::int64_t intervalSeconds) {
  // Saturate rather than overflow: anything beyond 3.2 s caps at 3000 anyway.
  const std::int64_t seconds = std::clamp<std::int64_t>(intervalSeconds, -1'000'000, 1'000'000);
  const std::int64_t timeout = std::min<std::int64_t>(seconds * 1000 - 200, 3000);
  return static_cast<std::int32_t>(timeout);
}

std::string BuildPingCommandLine(std::string_view address, std::int32_t pingTimeout) {
  std::string line = "ping ";
  line += address;
  line += " -w ";
  line += std::to_string(pingTimeout);
  line += " -n 1";
  return line;
}

std::string ReplyLine(std::string_view text) {
  int index = 0;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      if (start == text.size()) return {};  // a trailing line break ends the text
      return index == 3 ? std::string(text.substr(start)) : std::string();
    }
    if (index == 3) return std::string(text.substr(start, end - start));
    if (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ++end;
    start = end + 1;
    ++index;
  }
  return {};
}

bool ContainsHostNotFound(std::string_view responseText) {
  return responseText.find("could not find host") != std::string_view::npos;
}

namespace {

PingReply LostPing(std::int32_t pingTimeout) {
  PingReply s;
  s.text = std::to_string(pingTimeout);
  s.value = pingTimeout;
  return s;
}

}  // namespace

PingReply ParseReplyLine(std::string_view line, std::int32_t pingTimeout) {
  if (line.find("Request") != std::string_view::npos) return LostPing(pingTimeout);

  // "time<1ms" is how a sub-millisecond reply is written: it is a reply too.
  std::size_t at = std::min(line.find("time="), line.find("time<"));
  if (at == std::string_view::npos) return LostPing(pingTimeout);

  std::string_view scan = line.substr(at + 5, 10);
  std::size_t digits = 0;
  while (digits < scan.size() && scan[digits] >= '0' && scan[digits] <= '9') ++digits;
  if (digits == 0) return LostPing(pingTimeout);

  PingReply s;
  s.text = std::string(scan.substr(0, digits));
  auto [end, err] = std::from_chars(s.text.data(), s.text.data() + s.text.size(), s.value);
  if (err != std::errc() || end != s.text.data() + s.text.size()) return LostPing(pingTimeout);

  // The decimals count only where the whole number ended inside the scanned
  // characters, so the precise time always truncates to the value.
  std::int64_t micros = static_cast<std::int64_t>(s.value) * 1000;
  const std::size_t after = at + 5 + digits;
  if (line[at + 4] == '=' && digits < scan.size() && after < line.size() && line[after] == '.') {
    std::int64_t scale = 100;
    for (std::size_t i = after + 1; i < line.size() && scale > 0; ++i, scale /= 10) {
      const char c = line[i];
      if (c < '0' || c > '9') break;
      micros += (c - '0') * scale;
    }
  }
  s.micros = micros;
  return s;
}

}  // namespace quorvel
