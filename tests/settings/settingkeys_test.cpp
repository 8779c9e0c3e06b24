#include "settings/settingkeys.h"

#include <filesystem>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace quorvel {
namespace {

namespace fs = std::filesystem;

const SettingKey& Key(std::string_view name) {
  const SettingKey* key = FindSettingKey(name);
  EXPECT_NE(key, nullptr) << name;
  static const SettingKey kNone{"", SettingType::Text, ""};
  return key != nullptr ? *key : kNone;
}

std::vector<std::string> Names(std::span<const SettingKey> keys) {
  std::vector<std::string> names;
  for (const SettingKey& k : keys) names.emplace_back(k.name);
  return names;
}

std::vector<std::string> Names(std::span<const SettingKey* const> keys) {
  std::vector<std::string> names;
  for (const SettingKey* k : keys) names.emplace_back(k != nullptr ? k->name : "(null)");
  return names;
}

std::size_t IndexOf(const std::vector<std::string>& names, const std::string& name) {
  return static_cast<std::size_t>(std::find(names.begin(), names.end(), name) - names.begin());
}

// ---- the tables ------------------------------------------------------------

TEST(SettingKeys, LoadAndSaveOrdersHoldTheSameKeys) {
  const auto load = Names(SettingKeysInLoadOrder());
  const auto save = Names(SettingKeysInSaveOrder());
  ASSERT_EQ(load.size(), 65u);
  ASSERT_EQ(save.size(), 65u);
  EXPECT_EQ(std::set<std::string>(load.begin(), load.end()).size(), 65u);
  EXPECT_EQ(std::set<std::string>(load.begin(), load.end()),
            std::set<std::string>(save.begin(), save.end()));

  EXPECT_EQ(load.front(), "URL");
  EXPECT_EQ(load.back(), "LogFile");
  EXPECT_EQ(save.back(), "LogFile");
  EXPECT_EQ(load[20], "CCount");
  EXPECT_EQ(load[21], "CB");
  EXPECT_LT(IndexOf(load, "Temp"), IndexOf(load, "JPG"));
  EXPECT_LT(IndexOf(load, "URL"), IndexOf(load, "CB"));

  // Where the save pass differs.
  EXPECT_LT(IndexOf(save, "Folder"), IndexOf(save, "Capture"));
  EXPECT_LT(IndexOf(save, "Lower"), IndexOf(save, "Auth"));
  EXPECT_EQ(IndexOf(save, "Left"), IndexOf(save, "spPercent") + 1);
  EXPECT_EQ(IndexOf(save, "Grid"), IndexOf(save, "spPercent") + 2);
  EXPECT_EQ(IndexOf(save, "CB"), IndexOf(save, "CCount") + 1);
  EXPECT_LT(IndexOf(save, "AppInterval"), IndexOf(save, "JPG"));
}

TEST(SettingKeys, RangesOfTheSpinBoxes) {
  struct Case {
    std::string name;
    std::int32_t minimum, maximum;
  };
  const std::vector<Case> cases = {
      {"Time", 1, 2147383647}, {"Points", 10, 10000},  {"Max", 10, 10000},
      {"Min", -1, 260},        {"Pages", 0, 255},      {"Height", 150, 2000},
      {"Width", 150, 2000},    {"spPercent", 20, 200}, {"LogVal", 0, 0},
      {"Port", 0, 0},          {"CCount", 0, 0},       {"FontSize", 0, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Key(c.name).minimum, c.minimum) << c.name;
    EXPECT_EQ(Key(c.name).maximum, c.maximum) << c.name;
  }
  int ranged = 0;
  for (const SettingKey& k : SettingKeysInLoadOrder()) ranged += k.HasRange() ? 1 : 0;
  EXPECT_EQ(ranged, 8);
}

// ---- a first start: every key takes its default ----------------------------

TEST(SettingKeys, DefaultsOfAFirstStart) {
  const IniFile empty;
  struct IntCase {
    std::string name;
    std::int32_t expected;
  };
  for (const IntCase& c : std::vector<IntCase>{{"Time", 10}, {"Points", 400}, {"Max", 60},
                                               {"Min", 0}, {"Pages", 50}, {"Port", 80},
                                               {"spPercent", 100}, {"FontSize", 10},
                                               {"FontStyle", 0}, {"LogVal", 50}}) {
    EXPECT_EQ(LoadInteger(empty, Key(c.name)), c.expected) << c.name;
  }
  EXPECT_EQ(LoadInteger(empty, Key("Height"), 385), 385);
  EXPECT_EQ(LoadInteger(empty, Key("Width"), 791), 791);
  EXPECT_EQ(LoadInteger(empty, Key("Width"), 3000), 2000);

  const std::set<std::string> onByDefault = {"Stop", "Line", "Ramp", "Ignore", "PlotAvg", "HTTP",
                                             "Cap", "Clip", "Print", "rbPercent", "JPG", "Append",
                                             "AppInterval", "Horizontal", "NoLog", "AvgPing"};
  int booleans = 0;
  for (const SettingKey& k : SettingKeysInLoadOrder()) {
    if (k.type != SettingType::Boolean) continue;
    EXPECT_EQ(LoadBoolean(empty, k), onByDefault.count(std::string(k.name)) == 1) << k.name;
    ++booleans;
  }
  EXPECT_EQ(booleans, 35);

  EXPECT_EQ(LoadScrambled(empty, Key("URL")), "");
  EXPECT_EQ(LoadScrambled(empty, Key("Pass")), "");
  EXPECT_EQ(LoadText(empty, Key("User")), "");
  EXPECT_EQ(LoadText(empty, Key("Label")), "Ping - milliseconds");
  EXPECT_EQ(LoadText(empty, Key("Title")), "Quorvel of^");
  EXPECT_EQ(LoadText(empty, Key("Temp")), "quorvel.jpg");
  EXPECT_EQ(LoadText(empty, Key("FontName")), "Arial");
  EXPECT_EQ(LoadText(empty, Key("LogFile")), "");
  EXPECT_EQ(LoadText(empty, Key("Folder"), "/opt/quorvel"), "/opt/quorvel");
  EXPECT_EQ(ReadHistoryCount(empty), -1);

  struct ColourCase {
    std::string name;
    Colour expected;
  };
  for (const ColourCase& c : std::vector<ColourCase>{{"Border", kBtnFace}, {"Plot", kBlue},
                                                     {"AvgPlot", kFuchsia}, {"Back", kWhite},
                                                     {"Left", kBlack}, {"Grid", kGray},
                                                     {"Colour", kBlack}}) {
    const ColourResult r = LoadColour(empty, Key(c.name));
    EXPECT_TRUE(r.ok()) << c.name;
    EXPECT_EQ(r.colour, c.expected) << c.name;
  }
}

// ---- values from a file ------------------------------------------------------

TEST(SettingKeys, IntegersAreClampedToTheirBox) {
  const IniFile ini = IniFile::Parse(
      "[plotter]\r\npoints=5\r\nMin=-5\r\nMax=$2710\r\nTime=2147483647\r\nPages=0x12C\r\n"
      "spPercent=junk\r\nPort=70000\r\nLogVal=-3\r\nHeight=100\r\nWidth=\"800\"\r\n");
  EXPECT_EQ(LoadInteger(ini, Key("Points")), 10);
  EXPECT_EQ(LoadInteger(ini, Key("Min")), -1);
  EXPECT_EQ(LoadInteger(ini, Key("Max")), 10000);
  EXPECT_EQ(LoadInteger(ini, Key("Time")), 2147383647);
  EXPECT_EQ(LoadInteger(ini, Key("Pages")), 255);
  EXPECT_EQ(LoadInteger(ini, Key("spPercent")), 100);
  EXPECT_EQ(LoadInteger(ini, Key("Port")), 70000);
  EXPECT_EQ(LoadInteger(ini, Key("LogVal")), -3);
  EXPECT_EQ(LoadInteger(ini, Key("Height"), 385), 150);
  EXPECT_EQ(LoadInteger(ini, Key("Width"), 791), 800);
}

TEST(SettingKeys, RadioGroupsReadOneBooleanPerButton) {
  const IniFile ini = IniFile::Parse(
      "[Plotter]\nJPG=0\nGIF=1\nBMP=1\nPNG=0\nStop=abc\nRestart=\nNoLog=0\nAllLog=0\n"
      "OnlyLog=0\nLower=1\n");
  EXPECT_FALSE(LoadBoolean(ini, Key("JPG")));
  EXPECT_TRUE(LoadBoolean(ini, Key("GIF")));
  EXPECT_TRUE(LoadBoolean(ini, Key("BMP")));
  EXPECT_FALSE(LoadBoolean(ini, Key("PNG")));
  EXPECT_TRUE(LoadBoolean(ini, Key("Stop")));      // no number: the default
  EXPECT_FALSE(LoadBoolean(ini, Key("Restart")));
  EXPECT_FALSE(LoadBoolean(ini, Key("NoLog")));    // a group with none marked
  EXPECT_FALSE(LoadBoolean(ini, Key("AllLog")));
  EXPECT_FALSE(LoadBoolean(ini, Key("OnlyLog")));
  EXPECT_TRUE(LoadBoolean(ini, Key("Lower")));
}

TEST(SettingKeys, Colours) {
  IniFile ini = IniFile::Parse("[Plotter]\nPlot=clred\nBack=$00FF8000\nGrid=nonsense\nLeft=\n");
  EXPECT_EQ(LoadColour(ini, Key("Plot")).colour, kRed);
  EXPECT_EQ(LoadColour(ini, Key("Back")).colour, RgbColour(0, 128, 255));

  const ColourResult bad = LoadColour(ini, Key("Grid"));
  EXPECT_FALSE(bad.ok());
  EXPECT_EQ(bad.error, "'nonsense' is not a valid integer value");
  EXPECT_EQ(bad.colour, kGray);  // the key's default, to go on with
  EXPECT_EQ(LoadColour(ini, Key("Left")).error, "'' is not a valid integer value");

  SaveColour(ini, Key("Border"), LoadColour(ini, Key("Border")).colour);
  SaveColour(ini, Key("Plot"), kBlue);
  SaveColour(ini, Key("Back"), RgbColour(0, 128, 255));
  EXPECT_EQ(ini.Text(),
            "[Plotter]\nPlot=clBlue\nBack=$00FF8000\nGrid=nonsense\nLeft=\nBorder=clBtnFace\n");
}

TEST(SettingKeys, TextValues) {
  IniFile ini;
  SaveText(ini, Key("User"), "admin");
  SaveText(ini, Key("Folder"), "/home/me/captures");
  SaveText(ini, Key("Title"), TitleToStored(" Ping of "));
  SaveText(ini, Key("LogFile"), "");
  const IniFile again = IniFile::Parse(ini.Text());
  EXPECT_EQ(LoadText(again, Key("User")), "admin");
  EXPECT_EQ(LoadText(again, Key("Folder"), "/elsewhere"), "/home/me/captures");
  EXPECT_EQ(TitleFromStored(LoadText(again, Key("Title"))), " Ping of ");
  EXPECT_EQ(LoadText(again, Key("LogFile")), "");
  EXPECT_NE(ini.Text().find("User=admin\n"), std::string::npos);  // stored plain
}

// A text that the file's reading rules would change (outer blanks, a pair of
// matching quotes around it) is stored in double quotes and reads back as
// typed; any other text is stored as it is.
TEST(SettingKeys, TextValuesReadBackAsTyped) {
  const struct {
    const char* key;
    const char* text;
    const char* line;
  } cases[] = {
      {"User", "admin", "User=admin"},
      {"User", "'admin'", "User=\"'admin'\""},
      {"Label", "\"ms\"", "Label=\"\"ms\"\""},
      {"Label", " ms\t", "Label=\" ms\t\""},
      {"Temp", "\"half.jpg", "Temp=\"half.jpg"},
      {"Title", "'Quorvel^of'", "Title=\"'Quorvel^of'\""},
      {"FontName", "\"", "FontName=\""},
  };
  for (const auto& c : cases) {
    IniFile ini;
    SaveText(ini, Key(c.key), c.text);
    EXPECT_EQ(ini.Text(), std::string("[Plotter]\n") + c.line + "\n") << c.text;
    EXPECT_EQ(LoadText(IniFile::Parse(ini.Text()), Key(c.key)), c.text);
  }
}

// ---- history -------------------------------------------------------------------

TEST(SettingKeys, HistoryReads) {
  struct Case {
    const char* what;
    std::string file;
    std::vector<std::string> expected;
  };
  const std::string cb0 = "CB0=" + EnDeCrypt("one") + "\n";
  const std::vector<Case> cases = {
      {"CCount -1", "[Plotter]\nCCount=-1\n" + cb0, {}},
      {"no CCount", "[Plotter]\n" + cb0, {}},
      {"CCount not a number", "[Plotter]\nCCount=x\n" + cb0, {}},
      {"CCount 0", "[Plotter]\nCCount=0\n" + cb0, {"one"}},
      {"missing entries are empty", "[Plotter]\nCCount=2\n" + cb0, {"one", "", ""}},
      {"higher entries ignored", "[Plotter]\nCCount=0\n" + cb0 + "CB1=" + EnDeCrypt("two") + "\n",
       {"one"}},
  };
  for (const Case& c : cases) {
    const IniFile ini = IniFile::Parse(c.file);
    EXPECT_EQ(ReadHistory(ini, ReadHistoryCount(ini)), c.expected) << c.what;
  }

  const IniFile huge = IniFile::Parse("[Plotter]\nCCount=2147483647\n" + cb0);
  const auto entries = ReadHistory(huge, ReadHistoryCount(huge));
  ASSERT_EQ(entries.size(), static_cast<std::size_t>(kMaxHistoryEntries));
  EXPECT_EQ(entries.front(), "one");
}

TEST(SettingKeys, ShrinkingTheHistoryLeavesStaleKeys) {
  IniFile ini;
  WriteHistory(ini, {"a", "b", "c", "d", "e"});
  WriteHistory(ini, {"x", "y"});
  const IniFile again = IniFile::Parse(ini.Text());
  EXPECT_EQ(ReadHistoryCount(again), 1);
  EXPECT_EQ(ReadHistory(again, 1), (std::vector<std::string>{"x", "y"}));
  EXPECT_EQ(DecodeScrambled(again.ReadString("Plotter", "CB4", "")), "e");

  WriteHistory(ini, {});
  EXPECT_EQ(ReadHistoryCount(IniFile::Parse(ini.Text())), -1);
  EXPECT_NE(ini.Text().find("CB0="), std::string::npos);
}

// ---- scrambled values survive the file, whatever their bytes ---------------

fs::path TestFile() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  const fs::path dir = fs::path(QUORVEL_TEST_TMP) / "settingkeys" / info->name();
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir / "quorvel.ini";
}

std::vector<std::string> AwkwardValues() {
  std::vector<std::string> values;
  for (int b = 0; b < 256; ++b) {
    const char c = static_cast<char>(b);
    values.push_back(std::string(1, c));
    values.push_back(std::string(1, c) + "host");
    values.push_back("host" + std::string(1, c));
    values.push_back(std::string(1, c) + "mid" + std::string(1, c));
    values.push_back(std::string(3, c));
  }
  std::string all;
  for (int b = 255; b >= 0; --b) all += static_cast<char>(b);
  values.push_back(all);
  std::mt19937 random(7);
  for (int i = 0; i < 20; ++i) {
    std::string mixed(600, '\0');
    for (char& c : mixed) c = static_cast<char>(random() & 0xFF);
    values.push_back(mixed);
  }
  return values;
}

TEST(SettingKeys, EveryByteRoundTripsInTheAddressAndPassword) {
  const fs::path path = TestFile();
  for (const std::string& value : AwkwardValues()) {
    IniFile ini = IniFile::Load(path.string());
    SaveScrambled(ini, Key("URL"), value);
    SaveScrambled(ini, Key("Pass"), value);
    SaveText(ini, Key("User"), "u");
    ASSERT_TRUE(ini.Save(path.string()).ok());
    const IniFile loaded = IniFile::Load(path.string());
    ASSERT_EQ(LoadScrambled(loaded, Key("URL")), value);
    ASSERT_EQ(LoadScrambled(loaded, Key("Pass")), value);
    ASSERT_EQ(LoadText(loaded, Key("User")), "u");  // the next line is intact
  }
}

TEST(SettingKeys, EveryByteRoundTripsInTheHistory) {
  const fs::path path = TestFile();
  const std::vector<std::string> values = AwkwardValues();
  IniFile ini;
  WriteHistory(ini, values);
  SaveBoolean(ini, Key("Web"), true);
  ASSERT_TRUE(ini.Save(path.string()).ok());
  const IniFile loaded = IniFile::Load(path.string());
  EXPECT_EQ(ReadHistory(loaded, ReadHistoryCount(loaded)), values);
  EXPECT_TRUE(LoadBoolean(loaded, Key("Web")));
}

TEST(SettingKeys, PlainScrambledFilesReadTheSame) {
  // Written as plain EnDeCrypt bytes, as files have always held them.
  const std::string file = "[Plotter]\r\nURL=" + EnDeCrypt("192.168.1.1") + "\r\nPass=" +
                           EnDeCrypt("pa ss") + "\r\nCCount=1\r\nCB0=" + EnDeCrypt("a.b") +
                           "\r\nCB1=" + EnDeCrypt("c d") + "\r\n";
  const IniFile ini = IniFile::Parse(file);
  EXPECT_EQ(LoadScrambled(ini, Key("URL")), "192.168.1.1");
  EXPECT_EQ(LoadScrambled(ini, Key("Pass")), "pa ss");
  EXPECT_EQ(ReadHistory(ini, ReadHistoryCount(ini)), (std::vector<std::string>{"a.b", "c d"}));

  IniFile rewritten = ini;
  SaveScrambled(rewritten, Key("URL"), "192.168.1.1");
  WriteHistory(rewritten, {"a.b", "c d"});
  SaveScrambled(rewritten, Key("Pass"), "pa ss");
  EXPECT_EQ(rewritten.Text(), file);
}

// ---- a first save ------------------------------------------------------------------

TEST(SettingKeys, AFirstSaveWritesTheKeysInSaveOrder) {
  IniFile ini;
  const IniFile defaults;
  for (const SettingKey* key : SettingKeysInSaveOrder()) {
    switch (key->type) {
      case SettingType::Integer:
        SaveInteger(ini, *key,
                    key->callerDefault ? LoadInteger(defaults, *key, 500) : LoadInteger(defaults, *key));
        break;
      case SettingType::Boolean:
        SaveBoolean(ini, *key, LoadBoolean(defaults, *key));
        break;
      case SettingType::Text:
      case SettingType::TitleText:
        SaveText(ini, *key, LoadText(defaults, *key));
        break;
      case SettingType::ScrambledText:
        SaveScrambled(ini, *key, LoadScrambled(defaults, *key));
        break;
      case SettingType::ColourValue:
        SaveColour(ini, *key, LoadColour(defaults, *key).colour);
        break;
      case SettingType::HistoryCount:
        WriteHistory(ini, {"host-a", "host-b"});
        break;
      case SettingType::HistoryEntries:
        break;
    }
  }

  std::vector<std::string> lines;
  std::istringstream text(ini.Text());
  for (std::string line; std::getline(text, line);) lines.push_back(line);
  std::vector<std::string> expected = {"[Plotter]"};
  for (const std::string& name : Names(SettingKeysInSaveOrder())) {
    if (name == "CB") {
      expected.push_back("CB0");
      expected.push_back("CB1");
    } else {
      expected.push_back(name);
    }
  }
  ASSERT_EQ(lines.size(), expected.size());
  EXPECT_EQ(lines[0], "[Plotter]");
  for (std::size_t i = 1; i < lines.size(); ++i) {
    EXPECT_EQ(lines[i].substr(0, lines[i].find('=')), expected[i]) << i;
  }
  EXPECT_EQ(lines[IndexOf(expected, "Border")], "Border=clBtnFace");
  EXPECT_EQ(lines[IndexOf(expected, "Title")], "Title=Quorvel of^");
  EXPECT_EQ(lines[IndexOf(expected, "Time")], "Time=10");
  EXPECT_EQ(lines[IndexOf(expected, "Height")], "Height=500");
  EXPECT_EQ(lines[IndexOf(expected, "LogFile")], "LogFile=");
  EXPECT_EQ(lines[IndexOf(expected, "CCount")], "CCount=1");
}

// ---- location ------------------------------------------------------------------------

TEST(SettingKeys, Location) {
  EXPECT_EQ(SettingsFilePath("/opt/quorvel/quorvel"), "/opt/quorvel/quorvel.ini");
  EXPECT_EQ(SettingsFilePath("/opt/q.d/quorvel.bin"), "/opt/q.d/quorvel.ini");
  EXPECT_EQ(SettingsFilePath("/opt/q.d/quorvel"), "/opt/q.d/quorvel.ini");
  EXPECT_EQ(ExecutableFolder("/opt/quorvel/quorvel"), "/opt/quorvel");
  EXPECT_EQ(ExecutableFolder("/quorvel"), "/");
  EXPECT_EQ(ExecutableFolder("quorvel"), "");
}

}  // namespace
}  // namespace quorvel
