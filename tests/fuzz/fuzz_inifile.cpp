// The settings file's reader and writer.
//
// Input: file bytes 0x1E key 0x1E value 0x1E section. Properties: a file
// read and written again keeps every byte; a value written reads back as the
// reading rules give it (up to a line break, without outer blanks and one
// pair of matching quotes, at most 2047 bytes); no other key changes; the
// written document reads back as itself.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "settings/inifile.h"
#include "settings/settingkeys.h"
#include "fuzzsupport.h"

using namespace quorvel;

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// A section or key name as the writer accepts it: no "]", "=", line break
// or NUL, no blank at either end, and no ";" or "[" in front (a line
// starting so is a comment or a section header).
std::string Name(std::string_view text, std::string_view fallback) {
  std::string name;
  for (char c : text) {
    if (c != ']' && c != '=' && c != '\r' && c != '\n' && c != '\0') name += c;
  }
  std::string_view trimmed = Trim(name);
  while (!trimmed.empty() && (trimmed.front() == ';' || trimmed.front() == '[')) {
    trimmed = Trim(trimmed.substr(1));
  }
  return trimmed.empty() ? std::string(fallback) : std::string(trimmed);
}

// What reading gives for a value written.
std::string ReadsAs(std::string_view value) {
  value = value.substr(0, value.find_first_of(std::string_view("\0\r\n", 3)));
  value = Trim(value);
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return std::string(value.substr(0, IniFile::kMaxValueLength));
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

constexpr std::string_view kMissing = "\x01missing";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto f = fuzzsupport::Fields(data, size, 4);
  const std::string_view file = f[0];
  const std::string key = Name(f[1], "URL");
  const std::string_view value = f[2];
  const std::string section = Name(f[3], kSettingsSection);

  const IniFile before = IniFile::Parse(file);
  FUZZ_CHECK(before.Text() == file);

  IniFile after = IniFile::Parse(file);
  after.Write(section, key, value);
  const std::string written = after.Text();
  const IniFile reread = IniFile::Parse(written);
  FUZZ_CHECK(reread.Text() == written);
  FUZZ_CHECK(reread.ReadString(section, key, kMissing) == ReadsAs(value));
  FUZZ_CHECK(after.ReadString(section, key, kMissing) == ReadsAs(value));

  // Every other key of the program, in this section and in [Plotter], reads
  // as before.
  for (const SettingKey& other : SettingKeysInLoadOrder()) {
    for (const std::string_view in : {std::string_view(section), kSettingsSection}) {
      if (SameName(in, section) && SameName(other.name, key)) continue;
      FUZZ_CHECK(reread.ReadString(in, other.name, kMissing) ==
                 before.ReadString(in, other.name, kMissing));
    }
  }
  return 0;
}
