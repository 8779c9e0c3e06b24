#include "settings/settingvalues.h"

#include <array>

#include "base/text.h"

namespace quorvel {

namespace {

struct NamedColour {
  std::string_view name;
  Colour value;
};

constexpr Colour System(unsigned n) { return kSystemColourFlag | n; }

constexpr std::array<NamedColour, 52> kNamedColours = {{
    {"clBlack", 0x000000},
    {"clMaroon", 0x000080},
    {"clGreen", 0x008000},
    {"clOlive", 0x008080},
    {"clNavy", 0x800000},
    {"clPurple", 0x800080},
    {"clTeal", 0x808000},
    {"clGray", 0x808080},
    {"clSilver", 0xC0C0C0},
    {"clRed", 0x0000FF},
    {"clLime", 0x00FF00},
    {"clYellow", 0x00FFFF},
    {"clBlue", 0xFF0000},
    {"clFuchsia", 0xFF00FF},
    {"clAqua", 0xFFFF00},
    {"clWhite", 0xFFFFFF},
    {"clMoneyGreen", 0xC0DCC0},
    {"clSkyBlue", 0xF0CAA6},
    {"clCream", 0xF0FBFF},
    {"clMedGray", 0xA4A0A0},
    {"clScrollBar", System(0)},
    {"clBackground", System(1)},
    {"clActiveCaption", System(2)},
    {"clInactiveCaption", System(3)},
    {"clMenu", System(4)},
    {"clWindow", System(5)},
    {"clWindowFrame", System(6)},
    {"clMenuText", System(7)},
    {"clWindowText", System(8)},
    {"clCaptionText", System(9)},
    {"clActiveBorder", System(10)},
    {"clInactiveBorder", System(11)},
    {"clAppWorkSpace", System(12)},
    {"clHighlight", System(13)},
    {"clHighlightText", System(14)},
    {"clBtnFace", System(15)},
    {"clBtnShadow", System(16)},
    {"clGrayText", System(17)},
    {"clBtnText", System(18)},
    {"clInactiveCaptionText", System(19)},
    {"clBtnHighlight", System(20)},
    {"cl3DDkShadow", System(21)},
    {"cl3DLight", System(22)},
    {"clInfoText", System(23)},
    {"clInfoBk", System(24)},
    {"clHotLight", System(26)},
    {"clGradientActiveCaption", System(27)},
    {"clGradientInactiveCaption", System(28)},
    {"clMenuHighlight", System(29)},
    {"clMenuBar", System(30)},
    {"clNone", kColourNone},
    {"clDefault", kColourDefault},
}};

// Bytes the line format cannot carry inside a value.
bool LineBreaking(char c) { return c == '\0' || c == '\n' || c == '\r'; }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsQuote(char c) { return c == '"' || c == '\''; }

// Whether the file gives these bytes back exactly as written.
bool ReadsBackAsWritten(std::string_view v) {
  if (v.empty()) return true;
  for (char c : v) {
    if (LineBreaking(c)) return false;
  }
  if (IsBlank(v.front()) || IsBlank(v.back())) return false;
  return !(v.size() >= 2 && IsQuote(v.front()) && v.back() == v.front());
}

}  // namespace

std::optional<std::int32_t> ParseInteger(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  bool hex = false;
  if (text.starts_with("0x") || text.starts_with("0X")) {
    hex = true;
    text.remove_prefix(2);
  } else if (text.starts_with("$")) {
    hex = true;
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;

  const std::uint64_t base = hex ? 16 : 10;
  const std::uint64_t limit = hex ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
  std::uint64_t magnitude = 0;
  for (char c : text) {
    const int digit = HexDigitValue(c);
    if (digit < 0 || static_cast<std::uint64_t>(digit) >= base) return std::nullopt;
    magnitude = magnitude * base + static_cast<std::uint64_t>(digit);
    if (magnitude > limit) return std::nullopt;
  }
  if (negative) {
    if (magnitude > 0x80000000ull) return std::nullopt;
    return static_cast<std::int32_t>(-static_cast<std::int64_t>(magnitude));
  }
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(magnitude));
}

std::string FormatInteger(std::int32_t value) { return std::to_string(value); }

bool ParseBoolean(std::string_view text, bool defaultValue) {
  return ParseInteger(text).value_or(defaultValue ? 1 : 0) != 0;
}

std::string FormatBoolean(bool value) { return value ? "1" : "0"; }

std::int32_t ClampToRange(std::int32_t value, std::int32_t minimum, std::int32_t maximum) {
  if (minimum == 0 && maximum == 0) return value;
  if (value < minimum) return minimum;
  if (value > maximum) return maximum;
  return value;
}

std::string EncodeText(std::string_view text) {
  // Line breaks cannot be stored either way; the writer cuts the value there.
  const std::string_view line = text.substr(0, text.find_first_of(std::string_view("\0\r\n", 3)));
  if (ReadsBackAsWritten(line)) return std::string(text);
  return "\"" + std::string(line) + "\"";
}

std::string TitleToStored(std::string_view title) {
  std::string stored(title);
  for (char& c : stored) {
    if (c == ' ') c = '^';
  }
  return stored;
}

std::string TitleFromStored(std::string_view stored) {
  std::string title(stored);
  for (char& c : title) {
    if (c == '^') c = ' ';
  }
  return title;
}

std::string EnDeCrypt(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(~static_cast<unsigned char>(c));
  return out;
}

std::string EncodeScrambled(std::string_view plain) {
  const std::string scrambled = EnDeCrypt(plain);
  if (ReadsBackAsWritten(scrambled)) return scrambled;

  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string stored = "\" ";
  for (char c : scrambled) {
    if (LineBreaking(c) || c == '%') {
      const auto b = static_cast<unsigned char>(c);
      stored += '%';
      stored += kHex[b >> 4];
      stored += kHex[b & 0xF];
    } else {
      stored += c;
    }
  }
  stored += '"';
  return stored;
}

std::string DecodeScrambled(std::string_view read) {
  if (read.empty() || read.front() != ' ') return EnDeCrypt(read);

  std::string scrambled;
  for (std::size_t i = 1; i < read.size(); ++i) {
    if (read[i] == '%' && i + 2 < read.size() && HexDigitValue(read[i + 1]) >= 0 &&
        HexDigitValue(read[i + 2]) >= 0) {
      scrambled += static_cast<char>(HexDigitValue(read[i + 1]) * 16 + HexDigitValue(read[i + 2]));
      i += 2;
    } else {
      scrambled += read[i];
    }
  }
  return EnDeCrypt(scrambled);
}

ColourResult ParseColour(std::string_view text) {
  if (const auto named = ColourFromName(text)) return {*named, {}};
  if (const auto number = ParseInteger(text)) return {static_cast<Colour>(*number), {}};
  return {0, "'" + std::string(text) + "' is not a valid integer value"};
}

std::string FormatColour(Colour colour) {
  if (const auto name = ColourName(colour)) return std::string(*name);
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string text = "$";
  for (int shift = 28; shift >= 0; shift -= 4) text += kHex[(colour >> shift) & 0xFu];
  return text;
}

std::optional<Colour> ColourFromName(std::string_view name) {
  for (const NamedColour& c : kNamedColours) {
    if (EqualsIgnoreCase(c.name, name)) return c.value;
  }
  return std::nullopt;
}

std::optional<std::string_view> ColourName(Colour colour) {
  for (const NamedColour& c : kNamedColours) {
    if (c.value == colour) return c.name;
  }
  return std::nullopt;
}

}  // namespace quorvel
