#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "web/httpdecode.h"
#include "web/mimetypes.h"

namespace quorvel {
namespace {

TEST(GetMIMEType, ImageRowsAndLookupRules) {
  const struct {
    const char* path;
    const char* type;
  } cases[] = {
      {"/quorvel.bmp", "image/bmp"},
      {"/quorvel.gif", "image/gif"},
      {"/quorvel.jpg", "image/jpeg"},
      {"/quorvel.jpeg", "image/jpeg"},
      {"/quorvel.jpe", "image/jpeg"},
      {"/quorvel.png", "image/x-png"},
      {"/QUORVEL.JPG", "image/jpeg"},  // the extension is lower-cased
      {"/a.b.PnG", "image/x-png"},     // from the last "."
      {"/page.html", "text/html"},
      {"/notes.zip", "application/zip"},
      {"/quorvel", "application/octet-stream"},
      {"/quorvel.", "application/octet-stream"},
      {"/quorvel.xyz", "application/octet-stream"},
      {"/dir.jpg/file", "application/octet-stream"},
      {"", "application/octet-stream"},
  };
  for (const auto& c : cases) EXPECT_EQ(GetMIMEType(c.path), c.type) << c.path;
}

TEST(DecodeDocumentPath, QueryPlusAndEscapes) {
  const struct {
    const char* target;
    std::string path;
  } cases[] = {
      {"/quorvel.jpg", "/quorvel.jpg"},
      {"/quorvel.jpg?refresh=1", "/quorvel.jpg"},
      {"/a?b?c", "/a"},
      {"/?x=%41", "/"},
      {"/quorvel%2Ejpg", "/quorvel.jpg"},
      {"/quorvel%2ejpg", "/quorvel.jpg"},
      {"/my+graph.jpg", "/my graph.jpg"},
      {"/my%20graph.jpg", "/my graph.jpg"},
      {"/a%2Bb", "/a+b"},    // a decoded "+" stays a "+"
      {"/a%2541", "/a%41"},  // a decoded "%" is not read again
      {"/a%C3%A9", "/a\xC3\xA9"},
      // Dropped escapes take the "%" and the two characters after it along.
      {"/a%00b", "/ab"},
      {"/a%zzb", "/ab"},
      {"/a%4zb", "/ab"},
      {"/a%%41b", "/a1b"},
      {"/a%4", "/a"},
      {"/a%", "/a"},
  };
  for (const auto& c : cases) EXPECT_EQ(DecodeDocumentPath(c.target), c.path) << c.target;
}

TEST(OriginFormTarget, PathOfAnAbsoluteTargetNothingForOtherForms) {
  const std::pair<const char*, std::optional<std::string>> cases[] = {
      {"/a.jpg?x=1", "/a.jpg?x=1"},
      {"http://h:80/a.jpg?x=1", "/a.jpg?x=1"},
      {"svn+ssh://h/a", "/a"},
      {"http://h", "/"},
      {"http://h?x", "/?x"},
      {"*", std::nullopt},
      {"a.jpg", std::nullopt},
      {"h:80", std::nullopt},
      {"1http://h/a", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& [target, origin] : cases) EXPECT_EQ(OriginFormTarget(target), origin) << target;
}

TEST(DecodeBase64, ValidAndInvalidTexts) {
  const struct {
    const char* text;
    std::optional<std::string> bytes;
  } cases[] = {
      {"", std::string()},
      {"Zg==", std::string("f")},
      {"Zg", std::string("f")},
      {"Zm8=", std::string("fo")},
      {"Zm9v", std::string("foo")},
      {"dXNlcjpwYXNz", std::string("user:pass")},
      {"AP8=", std::string("\0\xFF", 2)},
      {"Z", std::nullopt},
      {"Zm9v!", std::nullopt},
      {"Zg==Zg==", std::nullopt},
      {"Zm 9v", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(DecodeBase64(c.text), c.bytes) << c.text;
}

TEST(ParseAuthorization, SchemesAndSplitAtFirstColon) {
  EXPECT_EQ(ParseAuthorization(std::nullopt).scheme, AuthorizationScheme::None);
  EXPECT_EQ(ParseAuthorization(std::string("  ")).scheme, AuthorizationScheme::None);
  EXPECT_EQ(ParseAuthorization(std::string("Digest username=\"a\"")).scheme,
            AuthorizationScheme::Other);
  EXPECT_EQ(ParseAuthorization(std::string("Basically dXNlcjpwYXNz")).scheme,
            AuthorizationScheme::Other);

  // "user:pa:ss:" in Base64, scheme in another case.
  Authorization a = ParseAuthorization(std::string("bAsIc dXNlcjpwYTpzczo="));
  EXPECT_EQ(a.scheme, AuthorizationScheme::Basic);
  EXPECT_TRUE(a.readable);
  EXPECT_EQ(a.userName, "user");
  EXPECT_EQ(a.password, "pa:ss:");

  a = ParseAuthorization(std::string("Basic dXNlcg=="));  // "user", no colon
  EXPECT_EQ(a.userName, "user");
  EXPECT_EQ(a.password, "");

  a = ParseAuthorization(std::string("Basic Og=="));  // ":"
  EXPECT_EQ(a.userName, "");
  EXPECT_EQ(a.password, "");

  a = ParseAuthorization(std::string("Basic ***"));
  EXPECT_EQ(a.scheme, AuthorizationScheme::Basic);
  EXPECT_FALSE(a.readable);
}

TEST(ConstantTimeEquals, EqualOnlyForSameBytesAndLength) {
  EXPECT_TRUE(ConstantTimeEquals("", ""));
  EXPECT_TRUE(ConstantTimeEquals("secret", "secret"));
  EXPECT_FALSE(ConstantTimeEquals("secret", "Secret"));
  EXPECT_FALSE(ConstantTimeEquals("secre", "secret"));
  EXPECT_FALSE(ConstantTimeEquals("secret", "secre"));
  EXPECT_FALSE(ConstantTimeEquals("", "x"));
  EXPECT_FALSE(ConstantTimeEquals("x", ""));
  // Trailing zero bytes must not pass for a shorter stored text.
  EXPECT_FALSE(ConstantTimeEquals(std::string("ab\0", 3), "ab"));
}

}  // namespace
}  // namespace quorvel
