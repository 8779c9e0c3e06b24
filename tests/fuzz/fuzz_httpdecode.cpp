// The document path and Basic credentials of a request, as the request
// handler decodes them.
//
// Input: target 0x1E Authorization value 0x1E free bytes.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>

#include "fuzzsupport.h"
#include "web/httpdecode.h"

using namespace quorvel;

namespace {

std::string Base64(std::string_view bytes, bool pad) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const unsigned v = static_cast<unsigned char>(bytes[i]) << 16 |
                       static_cast<unsigned char>(bytes[i + 1]) << 8 |
                       static_cast<unsigned char>(bytes[i + 2]);
    for (int s = 18; s >= 0; s -= 6) out += kAlphabet[(v >> s) & 63];
  }
  const std::size_t left = bytes.size() - i;
  if (left > 0) {
    unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
    if (left == 2) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    if (left == 2) out += kAlphabet[(v >> 6) & 63];
    if (pad) out += left == 1 ? "==" : "=";
  }
  return out;
}

// Writes `bytes` as a request target that decodes back to it: bytes that
// mean something to the decoder, and every other byte at odd positions, as
// "%XX" (in upper or lower case), the rest as they are.
std::string PercentEncode(std::string_view bytes) {
  static constexpr char kUpper[] = "0123456789ABCDEF";
  static constexpr char kLower[] = "0123456789abcdef";
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    if (b == '%' || b == '+' || b == '?' || i % 2 == 1) {
      const char* digits = i % 4 == 3 ? kLower : kUpper;
      out += '%';
      out += digits[b >> 4];
      out += digits[b & 15];
    } else {
      out += static_cast<char>(b);
    }
  }
  return out;
}

std::string WithoutNul(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c != '\0') out += c;
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto f = fuzzsupport::Fields(data, size, 3);
  const std::string_view target = f[0];
  const std::string_view header = f[1];
  const std::string_view bytes = f[2];

  // Any target: no escape gives a NUL (a NUL in the path was one in the
  // target), and the path never grows.
  const std::string path = DecodeDocumentPath(target);
  const std::string_view beforeQuery = target.substr(0, target.find('?'));
  FUZZ_CHECK(std::count(path.begin(), path.end(), '\0') <=
             std::count(beforeQuery.begin(), beforeQuery.end(), '\0'));
  FUZZ_CHECK(path.size() <= beforeQuery.size());
  // An encoded path decodes back to itself, and a query does not count.
  const std::string plain = WithoutNul(bytes);
  FUZZ_CHECK(DecodeDocumentPath(PercentEncode(plain)) == plain);
  FUZZ_CHECK(DecodeDocumentPath(PercentEncode(plain) + "?" + std::string(target)) == plain);

  // Base64: whatever decodes re-encodes to text that decodes the same, and
  // any bytes survive encoding with or without padding.
  if (const std::optional<std::string> decoded = DecodeBase64(header)) {
    FUZZ_CHECK(DecodeBase64(Base64(*decoded, true)) == decoded);
    std::string_view unpadded = header;
    while (!unpadded.empty() && unpadded.back() == '=') unpadded.remove_suffix(1);
    FUZZ_CHECK(decoded->size() == unpadded.size() * 6 / 8);
  }
  FUZZ_CHECK(DecodeBase64(Base64(bytes, true)) == std::string(bytes));
  FUZZ_CHECK(DecodeBase64(Base64(bytes, false)) == std::string(bytes));

  // Any Authorization header: a readable Basic one names a user without ":".
  const Authorization any = ParseAuthorization(std::string(header));
  if (any.scheme != AuthorizationScheme::Basic || !any.readable) {
    FUZZ_CHECK(any.userName.empty() && any.password.empty());
  }
  FUZZ_CHECK(any.userName.find(':') == std::string::npos);

  // Credentials split at the first ":" only, whatever the scheme's case.
  const std::size_t colon = bytes.find(':');
  const std::string user(bytes.substr(0, colon));
  const std::string password(colon == std::string_view::npos ? std::string_view()
                                                             : bytes.substr(colon + 1));
  const char* scheme = bytes.size() % 2 == 0 ? "Basic " : " bASIC\t ";
  const Authorization basic = ParseAuthorization(std::string(scheme) + Base64(bytes, true) + " ");
  FUZZ_CHECK(basic.scheme == AuthorizationScheme::Basic);
  FUZZ_CHECK(basic.readable);
  FUZZ_CHECK(basic.userName == user);
  FUZZ_CHECK(basic.password == password);

  // The comparison of credentials is plain equality.
  FUZZ_CHECK(ConstantTimeEquals(target, header) == (target == header));
  FUZZ_CHECK(ConstantTimeEquals(bytes, bytes));
  return 0;
}
