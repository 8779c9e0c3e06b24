#include "settings/settingvalues.h"

#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "settings/inifile.h"

namespace quorvel {
namespace {

TEST(SettingValues, ParseInteger) {
  struct Case {
    std::string text;
    std::optional<std::int32_t> expected;
  };
  const std::vector<Case> cases = {
      {"0", 0},
      {"42", 42},
      {"007", 7},
      {"-5", -5},
      {"+7", 7},
      {"2147483647", 2147483647},
      {"-2147483648", -2147483647 - 1},
      {"2147483648", std::nullopt},
      {"-2147483649", std::nullopt},
      {"99999999999999999999", std::nullopt},
      {"0x1F", 31},
      {"0X1f", 31},
      {"$ff", 255},
      {"$7FFFFFFF", 2147483647},
      {"$FFFFFFFF", -1},
      {"$FF00000F", -16777201},
      {"$100000000", std::nullopt},
      {"-$10", -16},
      {"-0x80000000", -2147483647 - 1},
      {"-$80000001", std::nullopt},
      {"", std::nullopt},
      {"-", std::nullopt},
      {"$", std::nullopt},
      {"0x", std::nullopt},
      {"0x-1", std::nullopt},
      {"$G", std::nullopt},
      {"12a", std::nullopt},
      {"1.5", std::nullopt},
      {" 5", std::nullopt},
      {"5 ", std::nullopt},
      {"--5", std::nullopt},
      {"abc", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseInteger(c.text), c.expected) << "'" << c.text << "'";
  EXPECT_EQ(FormatInteger(-2147483647 - 1), "-2147483648");
  EXPECT_EQ(FormatInteger(400), "400");
}

TEST(SettingValues, Boolean) {
  struct Case {
    std::string text;
    bool defaultValue;
    bool expected;
  };
  const std::vector<Case> cases = {
      {"1", false, true}, {"0", true, false},   {"-1", false, true}, {"2", false, true},
      {"$0", true, false}, {"", true, true},    {"", false, false},  {"yes", true, true},
      {"yes", false, false}, {"true", false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParseBoolean(c.text, c.defaultValue), c.expected) << c.text << " " << c.defaultValue;
  }
  EXPECT_EQ(FormatBoolean(true), "1");
  EXPECT_EQ(FormatBoolean(false), "0");
}

TEST(SettingValues, ClampToRange) {
  struct Case {
    std::int32_t value, minimum, maximum, expected;
  };
  const std::vector<Case> cases = {
      {5, 10, 10000, 10},          // Points=5
      {-5, -1, 260, -1},           // Min=-5
      {261, -1, 260, 260},
      {2147483647, 1, 2147383647, 2147383647},
      {0, 1, 2147383647, 1},
      {100, 20, 200, 100},
      {-7, 0, 0, -7},              // no range
      {70000, 0, 0, 70000},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ClampToRange(c.value, c.minimum, c.maximum), c.expected) << c.value;
  }
}

TEST(SettingValues, TitleText) {
  EXPECT_EQ(TitleToStored("  My  title "), "^^My^^title^");
  EXPECT_EQ(TitleFromStored("^^My^^title^"), "  My  title ");
  EXPECT_EQ(TitleFromStored("Quorvel of^"), "Quorvel of ");
  // A typed "^" comes back as a blank.
  EXPECT_EQ(TitleFromStored(TitleToStored("a^b")), "a b");
  // Through the file: the outer blanks survive the trimming.
  IniFile ini;
  ini.Write("Plotter", "Title", TitleToStored("  two  blanks  "));
  EXPECT_EQ(TitleFromStored(IniFile::Parse(ini.Text()).ReadString("Plotter", "Title", "")),
            "  two  blanks  ");
}

TEST(SettingValues, EnDeCrypt) {
  EXPECT_EQ(EnDeCrypt(""), "");
  EXPECT_EQ(EnDeCrypt("abc"), "\x9E\x9D\x9C");
  EXPECT_EQ(EnDeCrypt("\x9E\x9D\x9C"), "abc");
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  const std::string scrambled = EnDeCrypt(all);
  for (int b = 0; b < 256; ++b) {
    EXPECT_EQ(static_cast<unsigned char>(scrambled[static_cast<std::size_t>(b)]), 255 - b);
  }
  EXPECT_EQ(EnDeCrypt(scrambled), all);
}

TEST(SettingValues, ScrambledValuesThatTheFileCarriesAreStoredPlain) {
  for (const std::string plain : {"", "abc", "192.168.0.1", "a\xDF" "b", "\xD8", "\xD8x",
                                  "\xD8x\xDD", "secret pass", "%", "\xFE\xE0"}) {
    EXPECT_EQ(EncodeScrambled(plain), EnDeCrypt(plain)) << plain;
    EXPECT_EQ(DecodeScrambled(EnDeCrypt(plain)), plain) << plain;
  }
}

TEST(SettingValues, ScrambledValuesThatTheFileWouldDamageAreEscaped) {
  struct Case {
    std::string plain;
    std::string stored;
  };
  // Plain bytes and what they scramble to: DF blank, F6 tab, DD ", D8 ',
  // FF NUL, F5 LF, F2 CR, DA %.
  const std::vector<Case> cases = {
      {"\xDF" "a", "\" \x20\x9E\""},
      {"a\xF6", "\" \x9E\t\""},
      {"\xDD" "a\xDD", "\" \"\x9E\"\""},
      {"\xD8\xD8", "\" ''\""},
      {std::string("a\xFF", 2), "\" \x9E%00\""},
      {"\xF5\xF2", "\" %0A%0D\""},
      {"\xDA\xDF", "\" %25 \""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EncodeScrambled(c.plain), c.stored);
    IniFile ini;
    ini.Write("Plotter", "URL", EncodeScrambled(c.plain));
    const std::string read = IniFile::Parse(ini.Text()).ReadString("Plotter", "URL", "");
    EXPECT_EQ(read.front(), ' ');
    EXPECT_EQ(DecodeScrambled(read), c.plain);
  }
  // Damaged escapes (a cut value, a hand edit) decode without failing.
  EXPECT_EQ(DecodeScrambled(" %0"), EnDeCrypt("%0"));
  EXPECT_EQ(DecodeScrambled(" %zz"), EnDeCrypt("%zz"));
}

TEST(SettingValues, ParseColour) {
  struct Case {
    std::string text;
    Colour expected;
  };
  const std::vector<Case> cases = {
      {"clBlue", kBlue},
      {"CLBLUE", kBlue},
      {"clbtnFace", kBtnFace},
      {"clMoneyGreen", 0x00C0DCC0},
      {"clMedGray", 0x00A4A0A0},
      {"clScrollBar", 0xFF000000},
      {"clMenuBar", 0xFF00001E},
      {"clHotLight", 0xFF00001A},
      {"clNone", 0x1FFFFFFF},
      {"cldefault", 0x20000000},
      {"$00FF8000", RgbColour(0, 128, 255)},
      {"$FF00000F", kBtnFace},
      {"0x000000FF", kRed},
      {"255", kRed},
      {"-16777201", kBtnFace},
  };
  for (const Case& c : cases) {
    const ColourResult r = ParseColour(c.text);
    EXPECT_TRUE(r.ok()) << c.text;
    EXPECT_EQ(r.colour, c.expected) << c.text;
  }
  for (const std::string bad : {"bogus", "", "clBlu", "$1FF8000100", "#FF0000"}) {
    const ColourResult r = ParseColour(bad);
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(r.error, "'" + bad + "' is not a valid integer value");
  }
}

TEST(SettingValues, FormatColour) {
  struct Case {
    Colour colour;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {kBlue, "clBlue"},
      {kBtnFace, "clBtnFace"},
      {RgbColour(0, 128, 255), "$00FF8000"},
      {0xFF000019, "$FF000019"},  // system colour 25 has no name
      {0xFF00001B, "clGradientActiveCaption"},
      {kColourNone, "clNone"},
      {kColourDefault, "clDefault"},
      {0x00F0CAA6, "clSkyBlue"},
      {0x00000001, "$00000001"},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatColour(c.colour), c.expected);
  // The default "clbtnFace" is written back as "clBtnFace".
  EXPECT_EQ(FormatColour(ParseColour("clbtnFace").colour), "clBtnFace");
}

TEST(SettingValues, EveryNamedColourRoundTrips) {
  int named = 0;
  for (Colour c : {0x000000u, 0x000080u, 0x008000u, 0x008080u, 0x800000u, 0x800080u, 0x808000u,
                   0x808080u, 0xC0C0C0u, 0x0000FFu, 0x00FF00u, 0x00FFFFu, 0xFF0000u, 0xFF00FFu,
                   0xFFFF00u, 0xFFFFFFu, 0xC0DCC0u, 0xF0CAA6u, 0xF0FBFFu, 0xA4A0A0u}) {
    ASSERT_TRUE(ColourName(c).has_value()) << std::hex << c;
    EXPECT_EQ(ParseColour(FormatColour(c)).colour, c);
    ++named;
  }
  for (unsigned n = 0; n <= 30; ++n) {
    const Colour c = kSystemColourFlag | n;
    EXPECT_EQ(ColourName(c).has_value(), n != 25) << n;
    EXPECT_EQ(ParseColour(FormatColour(c)).colour, c) << n;
  }
  EXPECT_EQ(named, 20);
}

}  // namespace
}  // namespace quorvel
