#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "settings/inifile.h"
#include "settings/settingvalues.h"
#include "graph/colour.h"

namespace quorvel {

// The keys of the settings file: which exist, their types, defaults and
// spin-box ranges, and the order of the load and save passes. The window
// walks these tables and moves each value between the file and its control.
// Tables and functions hold no state of their own; any thread may call them.

inline constexpr std::string_view kSettingsSection = "Plotter";
// Settings of features beyond the original set (settingsfile.h).
inline constexpr std::string_view kExtrasSection = "Quorvel";

enum class SettingType {
  Integer,         // LoadInteger / SaveInteger, clamped to the range on loading
  Boolean,         // LoadBoolean / SaveBoolean
  Text,            // LoadText / SaveText
  TitleText,       // LoadText / SaveText of the stored form: see TitleToStored
  ScrambledText,   // LoadScrambled / SaveScrambled
  ColourValue,     // LoadColour / SaveColour
  HistoryCount,    // CCount: ReadHistoryCount; written by WriteHistory
  HistoryEntries,  // CB0 ... CBn: ReadHistory; written by WriteHistory
};

struct SettingKey {
  std::string_view name;         // the key as written in the file
  SettingType type;
  std::string_view defaultText;  // as handed to the reader (trailing blanks are dropped there)
  std::int32_t minimum = 0;      // range of the spin box the value goes into;
  std::int32_t maximum = 0;      // 0..0: no range
  // Folder, Height and Width: the default is only known at run time (the
  // executable's folder, the graph's size on screen); use the overloads that
  // take it.
  bool callerDefault = false;
  std::string_view section = kSettingsSection;

  bool HasRange() const { return minimum != 0 || maximum != 0; }
};

// The 65 rows of [Plotter] in the order of the load pass; the history is two
// rows, "CCount" and "CB".
std::span<const SettingKey> SettingKeysInLoadOrder();
// The same rows in the order of the save pass; a fresh file has its lines in
// this order.
std::span<const SettingKey* const> SettingKeysInSaveOrder();
// The row of [Plotter] of that exact name, or nullptr.
const SettingKey* FindSettingKey(std::string_view name);
// The rows of [Quorvel], in the order they are read and written.
std::span<const SettingKey> ExtraSettingKeys();

// ---- one key (in its section) --------------------------------------------------

// The value, or the key's default when missing or no number, clamped to the
// key's range.
std::int32_t LoadInteger(const IniFile& ini, const SettingKey& key);
std::int32_t LoadInteger(const IniFile& ini, const SettingKey& key, std::int32_t defaultValue);
bool LoadBoolean(const IniFile& ini, const SettingKey& key);
// For TitleText the stored form: the window turns "^" into blanks after the
// whole load pass (TitleFromStored).
std::string LoadText(const IniFile& ini, const SettingKey& key);
std::string LoadText(const IniFile& ini, const SettingKey& key, std::string_view defaultText);
std::string LoadScrambled(const IniFile& ini, const SettingKey& key);  // the plain text
// On failure the result carries the message to show and, as its colour, the
// key's default, which is sound to go on with.
ColourResult LoadColour(const IniFile& ini, const SettingKey& key);

void SaveInteger(IniFile& ini, const SettingKey& key, std::int32_t value);
void SaveBoolean(IniFile& ini, const SettingKey& key, bool value);
// For TitleText pass the stored form (TitleToStored). Written as EncodeText
// gives it, so that it reads back as passed.
void SaveText(IniFile& ini, const SettingKey& key, std::string_view text);
void SaveScrambled(IniFile& ini, const SettingKey& key, std::string_view plain);
void SaveColour(IniFile& ini, const SettingKey& key, Colour colour);

// ---- address history -----------------------------------------------------------

// The most entries a history read gives, so that a damaged CCount cannot
// stall the start-up with billions of empty entries.
inline constexpr std::int32_t kMaxHistoryEntries = 10000;

// CCount: the index of the last entry; -1 (also when missing): none.
std::int32_t ReadHistoryCount(const IniFile& ini);
// CB0 ... CB<count>, plain, in index order; a missing CBi is an empty entry.
// A negative count gives none.
std::vector<std::string> ReadHistory(const IniFile& ini, std::int32_t count);
// CCount = entries - 1, then CB0 ... scrambled. Keys of higher index from an
// earlier, longer list stay in the file.
void WriteHistory(IniFile& ini, const std::vector<std::string>& entries);

// ---- location ----------------------------------------------------------------------

// The executable's path with its extension replaced by (or, without one,
// extended with) ".ini".
std::string SettingsFilePath(std::string_view executablePath);
// The folder holding the executable, without a trailing separator ("/" for
// the root); empty when the path names no folder.
std::string ExecutableFolder(std::string_view executablePath);

}  // namespace quorvel
