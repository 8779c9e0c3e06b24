#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "settings/inifile.h"
#include "settings/settings.h"

namespace quorvel {

// Between the settings file and the typed Settings value: every key of
// [Plotter] in the order of its pass (settingkeys.h), and the keys of
// [Quorvel]. Pure functions; any thread.

// The defaults that are only known while the program runs.
struct SettingsDefaults {
  std::string folder;  // Folder: the executable's folder
  int graphWidth = 0;  // Width and Height: the graph's size on screen
  int graphHeight = 0;
};

// A value that could not be read; its key took its default.
struct SettingError {
  std::string_view key;
  std::string message;  // "'%s' is not a valid integer value"
};

struct LoadedSettings {
  Settings settings;
  std::vector<SettingError> errors;  // in the order of the load pass
};

// The load pass. The title comes back as shown (every "^" a blank).
// [Quorvel] keys missing from that section are read from [Plotter], where an
// earlier version kept them.
LoadedSettings ReadSettings(const IniFile& ini, const SettingsDefaults& defaults);

// The save pass: [Plotter] in its order, then [Quorvel] when one of its
// values differs from its default or the file already has the section.
// Keys already in the file keep their places; nothing is deleted.
void WriteSettings(const Settings& settings, IniFile& ini);

}  // namespace quorvel
