#include "settings/settingkeys.h"

#include <algorithm>
#include <array>

namespace quorvel {

namespace {

using T = SettingType;

constexpr std::array<SettingKey, 65> kLoadOrder = {{
    {"URL", T::ScrambledText, ""},
    {"Stop", T::Boolean, "1"},
    {"Restart", T::Boolean, "0"},
    {"Time", T::Integer, "10", 1, 2147383647},
    {"Points", T::Integer, "400", 10, 10000},
    {"Max", T::Integer, "60", 10, 10000},
    {"Min", T::Integer, "0", -1, 260},
    {"Line", T::Boolean, "1"},
    {"Area", T::Boolean, "0"},
    {"Steps", T::Boolean, "0"},
    {"Ramp", T::Boolean, "1"},
    {"Run", T::Boolean, "0"},
    {"ShowAll", T::Boolean, "0"},
    {"Capture", T::Boolean, "0"},
    {"Folder", T::Text, "", 0, 0, true},
    {"Label", T::Text, "Ping - milliseconds"},
    {"Title", T::TitleText, "Quorvel of^"},
    {"Pages", T::Integer, "50", 0, 255},
    {"Minimize", T::Boolean, "0"},
    {"Ignore", T::Boolean, "1"},
    {"CCount", T::HistoryCount, "-1"},
    {"CB", T::HistoryEntries, ""},
    {"Web", T::Boolean, "0"},
    {"Temp", T::Text, "quorvel.jpg"},
    {"Auth", T::Boolean, "0"},
    {"Lower", T::Boolean, "0"},
    {"User", T::Text, ""},
    {"Pass", T::ScrambledText, ""},
    {"Port", T::Integer, "80"},
    {"Border", T::ColourValue, "clbtnFace"},
    {"Plot", T::ColourValue, "clBlue"},
    {"AvgPlot", T::ColourValue, "clFuchsia"},
    {"PlotAvg", T::Boolean, "1"},
    {"Back", T::ColourValue, "clWhite"},
    {"Left", T::ColourValue, "clBlack"},
    {"Grid", T::ColourValue, "clGray"},
    {"Height", T::Integer, "", 150, 2000, true},
    {"Width", T::Integer, "", 150, 2000, true},
    {"HTTP", T::Boolean, "1"},
    {"Cap", T::Boolean, "1"},
    {"Clip", T::Boolean, "1"},
    {"Print", T::Boolean, "1"},
    {"rbPercent", T::Boolean, "1"},
    {"rbPixels", T::Boolean, "0"},
    {"spPercent", T::Integer, "100", 20, 200},
    {"Colour", T::ColourValue, "clBlack"},
    {"FontName", T::Text, "Arial"},
    {"FontSize", T::Integer, "10"},
    {"FontStyle", T::Integer, "0"},
    {"JPG", T::Boolean, "1"},
    {"GIF", T::Boolean, "0"},
    {"BMP", T::Boolean, "0"},
    {"PNG", T::Boolean, "0"},
    {"Gray", T::Boolean, "0"},
    {"Append", T::Boolean, "1"},
    {"AppInterval", T::Boolean, "1"},
    {"Vertical", T::Boolean, "0"},
    {"Horizontal", T::Boolean, "1"},
    {"NoLog", T::Boolean, "1"},
    {"AllLog", T::Boolean, "0"},
    {"OnlyLog", T::Boolean, "0"},
    {"Ping", T::Boolean, "0"},
    {"AvgPing", T::Boolean, "1"},
    {"LogVal", T::Integer, "50"},
    // A single blank, which the reader's trimming of defaults removes.
    {"LogFile", T::Text, " "},
}};

constexpr std::array<SettingKey, 17> kExtras = {{
    {"Metrics", T::Boolean, "0", 0, 0, false, kExtrasSection},
    {"Distribution", T::Boolean, "0", 0, 0, false, kExtrasSection},
    {"PreciseScale", T::Boolean, "0", 0, 0, false, kExtrasSection},
    {"DesktopColours", T::Boolean, "0", 0, 0, false, kExtrasSection},
    {"LivePage", T::Boolean, "0", 0, 0, false, kExtrasSection},
    {"AlertLostOn", T::Boolean, "0", 0, 0, false, kExtrasSection},
    {"AlertLost", T::Text, "lost>=3", 0, 0, false, kExtrasSection},
    {"AlertLossOn", T::Boolean, "0", 0, 0, false, kExtrasSection},
    {"AlertLoss", T::Text, "loss>=5%/100", 0, 0, false, kExtrasSection},
    {"AlertLatencyOn", T::Boolean, "0", 0, 0, false, kExtrasSection},
    {"AlertLatency", T::Text, "avg>=150ms/20", 0, 0, false, kExtrasSection},
    {"AlertPatternOn", T::Boolean, "0", 0, 0, false, kExtrasSection},
    {"AlertPattern", T::Text, "pattern:>0%,*12*,>0%,*12*,>0%", 0, 0, false, kExtrasSection},
    {"AlertNotify", T::Boolean, "1", 0, 0, false, kExtrasSection},
    {"AlertBeep", T::Boolean, "0", 0, 0, false, kExtrasSection},
    {"AlertLog", T::Text, "", 0, 0, false, kExtrasSection},
    {"AlertCommand", T::Text, "", 0, 0, false, kExtrasSection},
}};

constexpr std::array<std::string_view, 65> kSaveOrderNames = {
    "URL",       "Stop",     "Restart",  "Time",        "Points",  "Max",     "Min",
    "Line",      "Area",     "Steps",    "Ramp",        "Run",     "ShowAll", "Folder",
    "Capture",   "Label",    "Title",    "Pages",       "Minimize", "Ignore", "CCount",
    "CB",        "Web",      "Temp",     "Lower",       "Auth",    "User",    "Pass",
    "Port",      "Border",   "Plot",     "AvgPlot",     "PlotAvg", "Back",    "Height",
    "Width",     "HTTP",     "Cap",      "Clip",        "Print",   "rbPercent", "rbPixels",
    "spPercent", "Left",     "Grid",     "Colour",      "FontName", "FontSize", "FontStyle",
    "Append",    "AppInterval", "JPG",   "GIF",         "BMP",     "PNG",     "Gray",
    "Vertical",  "Horizontal", "NoLog",  "AllLog",      "OnlyLog", "Ping",    "AvgPing",
    "LogVal",    "LogFile",
};

std::array<const SettingKey*, 65> BuildSaveOrder() {
  std::array<const SettingKey*, 65> order{};
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = FindSettingKey(kSaveOrderNames[i]);
  return order;
}

std::string HistoryKey(std::size_t index) { return "CB" + std::to_string(index); }

}  // namespace

std::span<const SettingKey> SettingKeysInLoadOrder() { return kLoadOrder; }

std::span<const SettingKey> ExtraSettingKeys() { return kExtras; }

std::span<const SettingKey* const> SettingKeysInSaveOrder() {
  static const std::array<const SettingKey*, 65> order = BuildSaveOrder();
  return order;
}

const SettingKey* FindSettingKey(std::string_view name) {
  const auto it = std::find_if(kLoadOrder.begin(), kLoadOrder.end(),
                               [&](const SettingKey& key) { return key.name == name; });
  return it == kLoadOrder.end() ? nullptr : &*it;
}

std::int32_t LoadInteger(const IniFile& ini, const SettingKey& key) {
  return LoadInteger(ini, key, ParseInteger(key.defaultText).value_or(0));
}

std::int32_t LoadInteger(const IniFile& ini, const SettingKey& key, std::int32_t defaultValue) {
  return ClampToRange(ini.ReadInteger(key.section, key.name, defaultValue), key.minimum,
                      key.maximum);
}

bool LoadBoolean(const IniFile& ini, const SettingKey& key) {
  return ini.ReadBool(key.section, key.name, ParseBoolean(key.defaultText, false));
}

std::string LoadText(const IniFile& ini, const SettingKey& key) {
  return LoadText(ini, key, key.defaultText);
}

std::string LoadText(const IniFile& ini, const SettingKey& key, std::string_view defaultText) {
  return ini.ReadString(key.section, key.name, defaultText);
}

std::string LoadScrambled(const IniFile& ini, const SettingKey& key) {
  return DecodeScrambled(ini.ReadString(key.section, key.name, key.defaultText));
}

ColourResult LoadColour(const IniFile& ini, const SettingKey& key) {
  ColourResult result = ParseColour(ini.ReadString(key.section, key.name, key.defaultText));
  if (!result.ok()) result.colour = ParseColour(key.defaultText).colour;
  return result;
}

void SaveInteger(IniFile& ini, const SettingKey& key, std::int32_t value) {
  ini.Write(key.section, key.name, FormatInteger(value));
}

void SaveBoolean(IniFile& ini, const SettingKey& key, bool value) {
  ini.Write(key.section, key.name, FormatBoolean(value));
}

void SaveText(IniFile& ini, const SettingKey& key, std::string_view text) {
  ini.Write(key.section, key.name, EncodeText(text));
}

void SaveScrambled(IniFile& ini, const SettingKey& key, std::string_view plain) {
  ini.Write(key.section, key.name, EncodeScrambled(plain));
}

void SaveColour(IniFile& ini, const SettingKey& key, Colour colour) {
  ini.Write(key.section, key.name, FormatColour(colour));
}

std::int32_t ReadHistoryCount(const IniFile& ini) {
  return ini.ReadInteger(kSettingsSection, "CCount", -1);
}

std::vector<std::string> ReadHistory(const IniFile& ini, std::int32_t count) {
  std::vector<std::string> entries;
  if (count < 0) return entries;
  const auto size = static_cast<std::size_t>(std::min(count, kMaxHistoryEntries - 1)) + 1;
  entries.reserve(size);
  for (std::size_t i = 0; i < size; ++i) {
    entries.push_back(DecodeScrambled(ini.ReadString(kSettingsSection, HistoryKey(i), "")));
  }
  return entries;
}

void WriteHistory(IniFile& ini, const std::vector<std::string>& entries) {
  const auto last = static_cast<std::int64_t>(entries.size()) - 1;
  ini.Write(kSettingsSection, "CCount", std::to_string(last));
  for (std::size_t i = 0; i < entries.size(); ++i) {
    ini.Write(kSettingsSection, HistoryKey(i), EncodeScrambled(entries[i]));
  }
}

std::string SettingsFilePath(std::string_view executablePath) {
  const std::size_t slash = executablePath.rfind('/');
  const std::size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
  const std::size_t dot = executablePath.rfind('.');
  const std::size_t stem =
      dot != std::string_view::npos && dot >= nameStart ? dot : executablePath.size();
  return std::string(executablePath.substr(0, stem)) + ".ini";
}

std::string ExecutableFolder(std::string_view executablePath) {
  const std::size_t slash = executablePath.rfind('/');
  if (slash == std::string_view::npos) return {};
  if (slash == 0) return "/";
  return std::string(executablePath.substr(0, slash));
}

}  // namespace quorvel
