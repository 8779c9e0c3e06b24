#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quorvel {

// The document path of a request target: the query (from the first "?") is
// cut off, every "+" reads as a blank and every "%" followed by two
// hexadecimal digits reads as that byte. An escape is the "%" together with
// the two characters after it (fewer at the end of the target); when those
// are not two hexadecimal digits, or give the byte 00, the whole escape is
// dropped: "%zz" and "%00" vanish with both of their characters, and a
// trailing "%" or "%4" vanishes too. A decoded "%" or "+" is not read again.
std::string DecodeDocumentPath(std::string_view target);

// A request target in origin form ("/path?query"): itself when it starts
// with "/"; for an absolute-form target (scheme "://" authority, then the
// path and query: "http://host:8080/a.jpg?x"), its path and query, "/" when
// it has no path ("http://host" or "http://host?x" give "/" and "/?x"). No
// value for a target of any other form ("*", "a.jpg", "host:80").
std::optional<std::string> OriginFormTarget(std::string_view target);

// Standard Base64 (RFC 4648 alphabet, "=" padding optional). Anything else in
// the text, padding in the middle, or a length that cannot carry whole bytes
// gives no value.
std::optional<std::string> DecodeBase64(std::string_view text);

// What the Authorization header of a request says.
enum class AuthorizationScheme {
  None,   // no header, or a blank one: empty user name and password
  Basic,  // "Basic" in any case
  Other,  // any other scheme: the connection is closed without a reply
};

struct Authorization {
  AuthorizationScheme scheme = AuthorizationScheme::None;
  // False when Basic credentials are not valid Base64; such a request can
  // never pass the access check.
  bool readable = true;
  std::string userName;  // before the first ":" of the decoded credentials
  std::string password;  // all after it, further colons included
};

// `header` is the value of the Authorization header, or no value when the
// request has none. Credentials without a ":" are all user name.
Authorization ParseAuthorization(const std::optional<std::string>& header);

// Compares without an early exit: the time taken depends on the length of
// `received` only, never on where the texts differ nor on the content of
// `expected`; a length difference is folded into the result instead of ending
// the loop. (Whether the stored text is longer than the received one can only
// show through the one length comparison, not through the loop.)
bool ConstantTimeEquals(std::string_view received, std::string_view expected);

}  // namespace quorvel
