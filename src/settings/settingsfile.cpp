#include "settings/settingsfile.h"

#include <functional>
#include <string_view>
#include <unordered_map>

#include "settings/settingkeys.h"
#include "settings/settingvalues.h"

namespace quorvel {

namespace {

// One key: how its value is read into, and written from, the Settings.
struct Binding {
  std::function<void(const IniFile&, const SettingKey&, LoadedSettings&)> read;
  std::function<void(IniFile&, const SettingKey&, const Settings&)> write;
};

using Bindings = std::unordered_map<std::string_view, Binding>;

// Member pointers into the groups of Settings, for the plain types.
template <typename Group, typename Value>
using Field = Value Group::*;

template <typename Group>
Group& GroupOf(Settings& s);
template <>
RunSettings& GroupOf<RunSettings>(Settings& s) {
  return s.run;
}
template <>
GraphAppearance& GroupOf<GraphAppearance>(Settings& s) {
  return s.graph;
}
template <>
ImageSettings& GroupOf<ImageSettings>(Settings& s) {
  return s.image;
}
template <>
WindowSettings& GroupOf<WindowSettings>(Settings& s) {
  return s.window;
}
template <>
ExtraSettings& GroupOf<ExtraSettings>(Settings& s) {
  return s.extras;
}
template <>
AlertSettings& GroupOf<AlertSettings>(Settings& s) {
  return s.extras.alerts;
}

template <typename Group>
const Group& GroupOf(const Settings& s) {
  return GroupOf<Group>(const_cast<Settings&>(s));
}

template <typename Group>
Binding Boolean(Field<Group, bool> field) {
  return {[field](const IniFile& ini, const SettingKey& k, LoadedSettings& l) {
            GroupOf<Group>(l.settings).*field = LoadBoolean(ini, k);
          },
          [field](IniFile& ini, const SettingKey& k, const Settings& s) {
            SaveBoolean(ini, k, GroupOf<Group>(s).*field);
          }};
}

template <typename Group, typename Int>
Binding Integer(Field<Group, Int> field) {
  return {[field](const IniFile& ini, const SettingKey& k, LoadedSettings& l) {
            GroupOf<Group>(l.settings).*field = LoadInteger(ini, k);
          },
          [field](IniFile& ini, const SettingKey& k, const Settings& s) {
            SaveInteger(ini, k, static_cast<std::int32_t>(GroupOf<Group>(s).*field));
          }};
}

template <typename Group>
Binding Text(Field<Group, std::string> field) {
  return {[field](const IniFile& ini, const SettingKey& k, LoadedSettings& l) {
            GroupOf<Group>(l.settings).*field = LoadText(ini, k);
          },
          [field](IniFile& ini, const SettingKey& k, const Settings& s) {
            SaveText(ini, k, GroupOf<Group>(s).*field);
          }};
}

// A colour that cannot be read is reported and takes its default.
Binding ColourOf(std::function<Colour&(Settings&)> field) {
  return {[field](const IniFile& ini, const SettingKey& k, LoadedSettings& l) {
            const ColourResult r = LoadColour(ini, k);
            if (!r.ok()) l.errors.push_back({k.name, r.error});
            field(l.settings) = r.colour;
          },
          [field](IniFile& ini, const SettingKey& k, const Settings& s) {
            SaveColour(ini, k, field(const_cast<Settings&>(s)));
          }};
}

Bindings MakeBindings(const SettingsDefaults& defaults) {
  using R = RunSettings;
  using G = GraphAppearance;
  using I = ImageSettings;
  using W = WindowSettings;
  Bindings b;
  b["URL"] = {[](const IniFile& ini, const SettingKey& k, LoadedSettings& l) {
                l.settings.run.address = LoadScrambled(ini, k);
              },
              [](IniFile& ini, const SettingKey& k, const Settings& s) {
                SaveScrambled(ini, k, s.run.address);
              }};
  b["Stop"] = Boolean<R>(&R::stopAtLimit);
  b["Restart"] = Boolean<R>(&R::restartAtLimit);
  b["Time"] = Integer<R>(&R::intervalSeconds);
  b["Points"] = Integer<R>(&R::pointsPerPage);
  b["Max"] = Integer<G>(&G::verticalMax);
  b["Min"] = Integer<G>(&G::verticalMin);
  b["Line"] = Boolean<G>(&G::line);
  b["Area"] = Boolean<G>(&G::area);
  b["Steps"] = Boolean<G>(&G::steps);
  b["Ramp"] = Boolean<G>(&G::ramp);
  b["Run"] = Boolean<R>(&R::startDown);
  b["ShowAll"] = Boolean<W>(&W::showAll);
  b["Capture"] = Boolean<R>(&R::capture);
  b["Folder"] = {
      [folder = defaults.folder](const IniFile& ini, const SettingKey& k, LoadedSettings& l) {
        l.settings.run.captureFolder = LoadText(ini, k, folder);
      },
      [](IniFile& ini, const SettingKey& k, const Settings& s) {
        SaveText(ini, k, s.run.captureFolder);
      }};
  b["Label"] = Text<G>(&G::label);
  // Stored with "^" for each blank, so that outer blanks survive the trimming.
  b["Title"] = {[](const IniFile& ini, const SettingKey& k, LoadedSettings& l) {
                  l.settings.graph.title = TitleFromStored(LoadText(ini, k));
                },
                [](IniFile& ini, const SettingKey& k, const Settings& s) {
                  SaveText(ini, k, TitleToStored(s.graph.title));
                }};
  b["Pages"] = Integer<R>(&R::pages);
  b["Minimize"] = Boolean<W>(&W::minimizeToTray);
  b["Ignore"] = Boolean<R>(&R::ignoreFirst);
  b["CCount"] = {
      [](const IniFile& ini, const SettingKey&, LoadedSettings& l) {
        l.settings.history = ReadHistory(ini, ReadHistoryCount(ini));
      },
      [](IniFile& ini, const SettingKey&, const Settings& s) { WriteHistory(ini, s.history); }};
  b["CB"] = {[](const IniFile&, const SettingKey&, LoadedSettings&) {},
             [](IniFile&, const SettingKey&, const Settings&) {}};
  b["Web"] = {[](const IniFile& ini, const SettingKey& k, LoadedSettings& l) {
                l.settings.web.active = LoadBoolean(ini, k);
              },
              [](IniFile& ini, const SettingKey& k, const Settings& s) {
                SaveBoolean(ini, k, s.web.active);
              }};
  b["Temp"] = {[](const IniFile& ini, const SettingKey& k, LoadedSettings& l) {
                 l.settings.web.imageName = LoadText(ini, k);
               },
               [](IniFile& ini, const SettingKey& k, const Settings& s) {
                 SaveText(ini, k, s.web.imageName);
               }};
  b["Auth"] = {[](const IniFile& ini, const SettingKey& k, LoadedSettings& l) {
                 l.settings.web.access.AuthRequired = LoadBoolean(ini, k);
               },
               [](IniFile& ini, const SettingKey& k, const Settings& s) {
                 SaveBoolean(ini, k, s.web.access.AuthRequired);
               }};
  b["Lower"] = Boolean<W>(&W::lower);
  b["User"] = {[](const IniFile& ini, const SettingKey& k, LoadedSettings& l) {
                 l.settings.web.access.UserName = LoadText(ini, k);
               },
               [](IniFile& ini, const SettingKey& k, const Settings& s) {
                 SaveText(ini, k, s.web.access.UserName);
               }};
  b["Pass"] = {[](const IniFile& ini, const SettingKey& k, LoadedSettings& l) {
                 l.settings.web.access.Password = LoadScrambled(ini, k);
               },
               [](IniFile& ini, const SettingKey& k, const Settings& s) {
                 SaveScrambled(ini, k, s.web.access.Password);
               }};
  b["Port"] = {[](const IniFile& ini, const SettingKey& k, LoadedSettings& l) {
                 l.settings.web.access.Port = LoadInteger(ini, k);
               },
               [](IniFile& ini, const SettingKey& k, const Settings& s) {
                 SaveInteger(ini, k, s.web.access.Port);
               }};
  b["Border"] = ColourOf([](Settings& s) -> Colour& { return s.graph.border; });
  b["Plot"] = ColourOf([](Settings& s) -> Colour& { return s.graph.plot; });
  b["AvgPlot"] = ColourOf([](Settings& s) -> Colour& { return s.graph.average; });
  b["PlotAvg"] = Boolean<G>(&G::plotAverage);
  b["Back"] = ColourOf([](Settings& s) -> Colour& { return s.graph.back; });
  b["Left"] = ColourOf([](Settings& s) -> Colour& { return s.graph.axesText; });
  b["Grid"] = ColourOf([](Settings& s) -> Colour& { return s.graph.grid; });
  // The image size defaults to the graph's size on screen.
  b["Height"] = {
      [h = defaults.graphHeight](const IniFile& ini, const SettingKey& k, LoadedSettings& l) {
        l.settings.image.pixelHeight = LoadInteger(ini, k, h);
      },
      [](IniFile& ini, const SettingKey& k, const Settings& s) {
        SaveInteger(ini, k, s.image.pixelHeight);
      }};
  b["Width"] = {
      [w = defaults.graphWidth](const IniFile& ini, const SettingKey& k, LoadedSettings& l) {
        l.settings.image.pixelWidth = LoadInteger(ini, k, w);
      },
      [](IniFile& ini, const SettingKey& k, const Settings& s) {
        SaveInteger(ini, k, s.image.pixelWidth);
      }};
  b["HTTP"] = Boolean<I>(&I::webImage);
  b["Cap"] = Boolean<I>(&I::capturedImages);
  b["Clip"] = Boolean<I>(&I::clipboard);
  b["Print"] = Boolean<I>(&I::printer);
  b["rbPercent"] = Boolean<I>(&I::percentMode);
  b["rbPixels"] = Boolean<I>(&I::pixelsMode);
  b["spPercent"] = Integer<I>(&I::percent);
  b["Colour"] = ColourOf([](Settings& s) -> Colour& { return s.graph.titleFont.colour; });
  b["FontName"] = {[](const IniFile& ini, const SettingKey& k, LoadedSettings& l) {
                     l.settings.graph.titleFont.name = LoadText(ini, k);
                   },
                   [](IniFile& ini, const SettingKey& k, const Settings& s) {
                     SaveText(ini, k, s.graph.titleFont.name);
                   }};
  b["FontSize"] = {[](const IniFile& ini, const SettingKey& k, LoadedSettings& l) {
                     l.settings.graph.titleFont.pointSize = LoadInteger(ini, k);
                   },
                   [](IniFile& ini, const SettingKey& k, const Settings& s) {
                     SaveInteger(ini, k, s.graph.titleFont.pointSize);
                   }};
  b["FontStyle"] = {[](const IniFile& ini, const SettingKey& k, LoadedSettings& l) {
                      l.settings.graph.titleFont.style = LoadInteger(ini, k);
                    },
                    [](IniFile& ini, const SettingKey& k, const Settings& s) {
                      SaveInteger(ini, k, s.graph.titleFont.style);
                    }};
  b["JPG"] = Boolean<I>(&I::jpg);
  b["GIF"] = Boolean<I>(&I::gif);
  b["BMP"] = Boolean<I>(&I::bmp);
  b["PNG"] = Boolean<I>(&I::png);
  b["Gray"] = Boolean<I>(&I::gray);
  b["Append"] = Boolean<G>(&G::appendAddress);
  b["AppInterval"] = Boolean<G>(&G::appendInterval);
  b["Vertical"] = Boolean<G>(&G::verticalLabels);
  b["Horizontal"] = Boolean<G>(&G::horizontalLabels);
  b["NoLog"] = {[](const IniFile& ini, const SettingKey& k, LoadedSettings& l) {
                  l.settings.run.log.mode.noLog = LoadBoolean(ini, k);
                },
                [](IniFile& ini, const SettingKey& k, const Settings& s) {
                  SaveBoolean(ini, k, s.run.log.mode.noLog);
                }};
  b["AllLog"] = {[](const IniFile& ini, const SettingKey& k, LoadedSettings& l) {
                   l.settings.run.log.mode.allLog = LoadBoolean(ini, k);
                 },
                 [](IniFile& ini, const SettingKey& k, const Settings& s) {
                   SaveBoolean(ini, k, s.run.log.mode.allLog);
                 }};
  b["OnlyLog"] = {[](const IniFile& ini, const SettingKey& k, LoadedSettings& l) {
                    l.settings.run.log.mode.onlyLog = LoadBoolean(ini, k);
                  },
                  [](IniFile& ini, const SettingKey& k, const Settings& s) {
                    SaveBoolean(ini, k, s.run.log.mode.onlyLog);
                  }};
  b["Ping"] = Boolean<R>(&R::logComparesPing);
  b["AvgPing"] = Boolean<R>(&R::logComparesAverage);
  b["LogVal"] = {[](const IniFile& ini, const SettingKey& k, LoadedSettings& l) {
                   l.settings.run.log.threshold = LoadInteger(ini, k);
                 },
                 [](IniFile& ini, const SettingKey& k, const Settings& s) {
                   SaveInteger(ini, k, s.run.log.threshold);
                 }};
  b["LogFile"] = {[](const IniFile& ini, const SettingKey& k, LoadedSettings& l) {
                    l.settings.run.log.fileName = LoadText(ini, k);
                  },
                  [](IniFile& ini, const SettingKey& k, const Settings& s) {
                    SaveText(ini, k, s.run.log.fileName);
                  }};
  using E = ExtraSettings;
  b["Metrics"] = Boolean<E>(&E::metrics);
  b["Distribution"] = Boolean<E>(&E::distribution);
  b["PreciseScale"] = Boolean<E>(&E::preciseScale);
  b["DesktopColours"] = Boolean<E>(&E::desktopColours);
  b["LivePage"] = Boolean<E>(&E::livePage);
  using A = AlertSettings;
  b["AlertLostOn"] = Boolean<A>(&A::lostOn);
  b["AlertLost"] = Text<A>(&A::lost);
  b["AlertLossOn"] = Boolean<A>(&A::lossOn);
  b["AlertLoss"] = Text<A>(&A::loss);
  b["AlertLatencyOn"] = Boolean<A>(&A::latencyOn);
  b["AlertLatency"] = Text<A>(&A::latency);
  b["AlertPatternOn"] = Boolean<A>(&A::patternOn);
  b["AlertPattern"] = Text<A>(&A::pattern);
  b["AlertNotify"] = Boolean<A>(&A::notify);
  b["AlertBeep"] = Boolean<A>(&A::beep);
  b["AlertLog"] = Text<A>(&A::logFile);
  b["AlertCommand"] = Text<A>(&A::command);
  return b;
}

}  // namespace

LoadedSettings ReadSettings(const IniFile& ini, const SettingsDefaults& defaults) {
  const Bindings bindings = MakeBindings(defaults);
  LoadedSettings loaded;
  for (const SettingKey& key : SettingKeysInLoadOrder())
    bindings.at(key.name).read(ini, key, loaded);
  for (const SettingKey& key : ExtraSettingKeys()) {
    // An earlier version kept these in [Plotter].
    SettingKey where = key;
    if (!ini.HasKey(key.section, key.name) && ini.HasKey(kSettingsSection, key.name)) {
      where.section = kSettingsSection;
    }
    bindings.at(key.name).read(ini, where, loaded);
  }
  return loaded;
}

void WriteSettings(const Settings& settings, IniFile& ini) {
  const Bindings bindings = MakeBindings({});
  for (const SettingKey* key : SettingKeysInSaveOrder())
    bindings.at(key->name).write(ini, *key, settings);
  if (settings.extras == ExtraSettings{} && !ini.HasSection(kExtrasSection)) return;
  for (const SettingKey& key : ExtraSettingKeys()) bindings.at(key.name).write(ini, key, settings);
}

}  // namespace quorvel
