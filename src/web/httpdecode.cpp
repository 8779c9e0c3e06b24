#include "web/httpdecode.h"

#include <array>
#include <cstdint>

#include "base/text.h"

namespace quorvel {

namespace {

constexpr std::array<std::int8_t, 256> MakeBase64Table() {
  std::array<std::int8_t, 256> table{};
  for (auto& v : table) v = -1;
  constexpr std::string_view alphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (std::size_t i = 0; i < alphabet.size(); ++i) {
    table[static_cast<unsigned char>(alphabet[i])] = static_cast<std::int8_t>(i);
  }
  return table;
}

constexpr auto kBase64Table = MakeBase64Table();

}  // namespace

std::string DecodeDocumentPath(std::string_view target) {
  const std::size_t query = target.find('?');
  if (query != std::string_view::npos) target = target.substr(0, query);

  std::string path;
  path.reserve(target.size());
  for (std::size_t i = 0; i < target.size(); ++i) {
    const char c = target[i];
    if (c == '+') {
      path.push_back(' ');
    } else if (c == '%') {
      const std::string_view escape = target.substr(i + 1, 2);
      i += escape.size();
      if (escape.size() < 2) continue;
      const int high = HexDigitValue(escape[0]);
      const int low = HexDigitValue(escape[1]);
      if (high < 0 || low < 0) continue;
      const int byte = high * 16 + low;
      if (byte != 0) path.push_back(static_cast<char>(byte));
    } else {
      path.push_back(c);
    }
  }
  return path;
}

std::optional<std::string> OriginFormTarget(std::string_view target) {
  if (!target.empty() && target.front() == '/') return std::string(target);
  // scheme = ALPHA *( ALPHA / DIGIT / "+" / "-" / "." ) (RFC 3986)
  const auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
  const auto later = [&](char c) {
    return letter(c) || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
  };
  std::size_t end = 0;
  if (target.empty() || !letter(target.front())) return std::nullopt;
  while (end < target.size() && later(target[end])) ++end;
  if (target.substr(end, 3) != "://") return std::nullopt;
  const std::string_view rest = target.substr(end + 3);
  const std::size_t path = rest.find_first_of("/?");
  if (path == std::string_view::npos) return std::string("/");
  std::string origin = rest[path] == '?' ? "/" : "";
  origin += rest.substr(path);
  return origin;
}

std::optional<std::string> DecodeBase64(std::string_view text) {
  while (!text.empty() && text.back() == '=') text.remove_suffix(1);
  if (text.size() % 4 == 1) return std::nullopt;

  std::string out;
  out.reserve(text.size() / 4 * 3 + 2);
  std::uint32_t bits = 0;
  int count = 0;
  for (const char c : text) {
    const int value = kBase64Table[static_cast<unsigned char>(c)];
    if (value < 0) return std::nullopt;
    bits = (bits << 6) | static_cast<std::uint32_t>(value);
    count += 6;
    if (count >= 8) {
      count -= 8;
      out.push_back(static_cast<char>((bits >> count) & 0xFFu));
    }
  }
  return out;
}

Authorization ParseAuthorization(const std::optional<std::string>& header) {
  Authorization result;
  if (!header) return result;
  const std::string_view value = Trim(*header);
  if (value.empty()) return result;

  std::size_t end = 0;
  while (end < value.size() && !IsBlank(value[end])) ++end;
  if (!EqualsIgnoreCase(value.substr(0, end), "Basic")) {
    result.scheme = AuthorizationScheme::Other;
    return result;
  }
  result.scheme = AuthorizationScheme::Basic;

  const std::optional<std::string> decoded = DecodeBase64(Trim(value.substr(end)));
  if (!decoded) {
    result.readable = false;
    return result;
  }
  const std::size_t colon = decoded->find(':');
  if (colon == std::string::npos) {
    result.userName = *decoded;
  } else {
    result.userName = decoded->substr(0, colon);
    result.password = decoded->substr(colon + 1);
  }
  return result;
}

bool ConstantTimeEquals(std::string_view received, std::string_view expected) {
  // Past the end of `expected` the received bytes are compared with 0; the
  // length difference is folded in, so the loop never ends early.
  unsigned difference = received.size() == expected.size() ? 0u : 1u;
  for (std::size_t i = 0; i < received.size(); ++i) {
    const unsigned char want = i < expected.size() ? static_cast<unsigned char>(expected[i]) : 0u;
    difference |= static_cast<unsigned char>(received[i]) ^ want;
  }
  return difference == 0;
}

}  // namespace quorvel
