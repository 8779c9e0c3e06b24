// Setting values as the settings file stores them: integers, booleans,
// colours, texts, titles, scrambled texts and the address history, each written and
// read back through the file, and every key read from any file.
//
// Input: text 0x1E plain text 0x1E title 0x1E four bytes of a number.
#include <charconv>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "settings/inifile.h"
#include "settings/settingkeys.h"
#include "settings/settingvalues.h"
#include "fuzzsupport.h"

using namespace quorvel;

namespace {

bool LineBreaking(char c) { return c == '\0' || c == '\r' || c == '\n'; }

bool FitsOneLine(std::string_view text) {
  for (char c : text) {
    if (LineBreaking(c)) return false;
  }
  return text.size() <= IniFile::kMaxValueLength;
}

std::vector<std::string> Split(std::string_view text, char at) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find(at, start);
    parts.emplace_back(text.substr(start, end - start));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
}

IniFile ThroughTheFile(const IniFile& ini) { return IniFile::Parse(ini.Text()); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto f = fuzzsupport::Fields(data, size, 4);
  const std::string_view text = f[0];
  const std::string_view plain = f[1];
  const std::string_view title = f[2];
  std::uint32_t bits = 0;
  if (!f[3].empty()) std::memcpy(&bits, f[3].data(), std::min<std::size_t>(f[3].size(), sizeof bits));
  const auto number = static_cast<std::int32_t>(bits);

  // Integers: any value survives, in decimal and as its hexadecimal bit
  // pattern; plain decimal text reads as the standard library reads it.
  FUZZ_CHECK(ParseInteger(FormatInteger(number)) == number);
  char hex[16];
  std::snprintf(hex, sizeof hex, "%08X", bits);
  FUZZ_CHECK(ParseInteger(std::string("$") + hex) == number);
  FUZZ_CHECK(ParseInteger(std::string("0x") + hex) == number);
  const std::optional<std::int32_t> parsed = ParseInteger(text);
  const std::string_view digits = text.starts_with('-') ? text.substr(1) : text;
  if (!digits.empty() && digits.find_first_not_of("0123456789") == std::string_view::npos) {
    std::int32_t expected = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), expected);
    const bool whole = error == std::errc() && end == text.data() + text.size();
    FUZZ_CHECK(parsed == (whole ? std::optional<std::int32_t>(expected) : std::nullopt));
  }
  if (parsed) {
    FUZZ_CHECK(text.find_first_not_of("+-0123456789abcdefABCDEFxX$") == std::string_view::npos);
  }
  FUZZ_CHECK(ParseBoolean(text, true) == (parsed.value_or(1) != 0));
  FUZZ_CHECK(ParseBoolean(text, false) == (parsed.value_or(0) != 0));

  // Colours: every 32-bit value survives, by name or as "$" and eight digits.
  const Colour colour = bits;
  const std::string stored = FormatColour(colour);
  const ColourResult back = ParseColour(stored);
  FUZZ_CHECK(back.ok() && back.colour == colour);
  if (!ColourName(colour)) FUZZ_CHECK(stored == std::string("$") + hex);
  const ColourResult any = ParseColour(text);
  if (!any.ok()) FUZZ_CHECK(any.error == "'" + std::string(text) + "' is not a valid integer value");

  // Scrambled texts, the history and titles, through the file.
  IniFile ini;
  const SettingKey& url = *FindSettingKey("URL");
  const SettingKey& titleKey = *FindSettingKey("Title");
  FUZZ_CHECK(EnDeCrypt(EnDeCrypt(plain)) == std::string(plain));
  const std::string scrambled = EncodeScrambled(plain);
  FUZZ_CHECK(scrambled.find_first_of(std::string_view("\0\r\n", 3)) == std::string::npos);
  SaveScrambled(ini, url, plain);
  const std::vector<std::string> history = Split(plain, '\x1f');
  WriteHistory(ini, history);
  SaveText(ini, titleKey, TitleToStored(title));
  const SettingKey& user = *FindSettingKey("User");
  SaveText(ini, user, text);
  const IniFile reread = ThroughTheFile(ini);
  if (scrambled.size() <= IniFile::kMaxValueLength) {
    FUZZ_CHECK(LoadScrambled(reread, url) == plain);
  }
  bool historyFits = true;
  for (const std::string& entry : history) {
    historyFits = historyFits && EncodeScrambled(entry).size() <= IniFile::kMaxValueLength;
  }
  if (historyFits) FUZZ_CHECK(ReadHistory(reread, ReadHistoryCount(reread)) == history);
  std::string shown(title);
  for (char& c : shown) {
    if (c == '^') c = ' ';
  }
  FUZZ_CHECK(TitleFromStored(TitleToStored(title)) == shown);
  // Every text that fits one line reads back as it was typed.
  if (FitsOneLine(std::string(title) + "\"\"")) FUZZ_CHECK(TitleFromStored(LoadText(reread, titleKey)) == shown);
  if (FitsOneLine(std::string(text) + "\"\"")) FUZZ_CHECK(LoadText(reread, user) == text);

  // Any file: every key loads, integers within their boxes' ranges, and the
  // history within its bound.
  const IniFile file = IniFile::Parse(text);
  for (const SettingKey& key : SettingKeysInLoadOrder()) {
    if (key.type == SettingType::Integer && key.HasRange()) {
      const std::int32_t value = LoadInteger(file, key);
      FUZZ_CHECK(value >= key.minimum && value <= key.maximum);
    } else if (key.type == SettingType::ColourValue) {
      LoadColour(file, key);
    } else if (key.type == SettingType::ScrambledText) {
      LoadScrambled(file, key);
    }
  }
  FUZZ_CHECK(ReadHistory(file, ReadHistoryCount(file)).size() <=
             static_cast<std::size_t>(kMaxHistoryEntries));
  return 0;
}
