// The typed settings against the file: every key reaches its own field and
// back, [Plotter] holds exactly its keys, and the extras live in [Quorvel].
#include "settings/settingsfile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "settings/settingkeys.h"

namespace quorvel {
namespace {

// Every field away from its default, each to a value no other field has.
Settings Unusual() {
  Settings s;
  s.run.address = "  host.example  ";
  s.run.intervalSeconds = 7;
  s.run.pointsPerPage = 123;
  s.run.pages = 9;
  s.run.stopAtLimit = false;
  s.run.restartAtLimit = true;
  s.run.ignoreFirst = false;
  s.run.startDown = true;
  s.run.capture = true;
  s.run.captureFolder = "/srv/graphs";
  s.run.log.mode = {false, false, true};
  s.run.log.threshold = 77;
  s.run.log.fileName = "/tmp/x.txt";
  s.run.logComparesPing = true;
  s.run.logComparesAverage = false;
  GraphAppearance& g = s.graph;
  g.title = " My  title ";
  g.appendAddress = false;
  g.appendInterval = false;
  g.label = "RTT";
  g.verticalMax = 250;
  g.verticalMin = 5;
  g.line = false;
  g.area = true;
  g.steps = true;
  g.ramp = false;
  g.plotAverage = false;
  g.verticalLabels = true;
  g.horizontalLabels = false;
  g.plot = 0x000001;
  g.average = 0x000002;
  g.back = 0x000003;
  g.border = 0x000004;
  g.grid = 0x000005;
  g.axesText = 0x000006;
  g.titleFont = {"Liberation Sans", 14, 3, 0x000007};
  ImageSettings& i = s.image;
  i.percentMode = false;
  i.pixelsMode = true;
  i.percent = 55;
  i.pixelWidth = 640;
  i.pixelHeight = 480;
  i.capturedImages = false;
  i.webImage = false;
  i.clipboard = false;
  i.printer = false;
  i.jpg = false;
  i.gif = true;
  i.gray = true;
  s.web.active = true;
  s.web.imageName = "graph.gif";
  s.web.access = {true, "user", "pa ss", 8080};
  s.window = {true, true, true};
  s.history = {"a", "b"};
  s.extras = {true, true, true, true, true,
              {true, "lost>=4", true, "loss>=1%/10", true, "p95>=9ms/5", true, "pattern:==U",
               false, true, "/tmp/alerts.txt", "/bin/true x"}};
  return s;
}

std::vector<std::string> KeysOf(const std::string& text, const std::string& section) {
  std::vector<std::string> keys;
  bool inside = false;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t end = text.find('\n', at);
    const std::string line = text.substr(at, end - at);
    at = end == std::string::npos ? text.size() : end + 1;
    if (!line.empty() && line[0] == '[') {
      inside = line == "[" + section + "]";
    } else if (inside && line.find('=') != std::string::npos) {
      keys.push_back(line.substr(0, line.find('=')));
    }
  }
  return keys;
}

TEST(SettingsFile, EveryKeyReachesItsFieldAndBack) {
  const Settings written = Unusual();
  IniFile ini;
  WriteSettings(written, ini);
  const LoadedSettings read = ReadSettings(IniFile::Parse(ini.Text()), {});
  EXPECT_TRUE(read.errors.empty());
  const Settings& r = read.settings;
  EXPECT_EQ(r.graph, written.graph);
  EXPECT_EQ(r.image, written.image);
  EXPECT_EQ(r.extras, written.extras);
  EXPECT_EQ(r.history, written.history);
  EXPECT_EQ(r.run.address, written.run.address);
  EXPECT_EQ(r.run.captureFolder, written.run.captureFolder);
  EXPECT_EQ(r.run.log.fileName, written.run.log.fileName);
  EXPECT_EQ(r.web.access.Password, "pa ss");
  // The rest, key by key: the same file again.
  IniFile again;
  WriteSettings(r, again);
  EXPECT_EQ(again.Text(), ini.Text());
}

TEST(SettingsFile, DefaultsWriteTheSixtyFiveKeysAlone) {
  IniFile ini;
  WriteSettings(ReadSettings(IniFile(), {"/opt/q", 791, 385}).settings, ini);
  const std::vector<std::string> keys = KeysOf(ini.Text(), "Plotter");
  ASSERT_EQ(keys.size(), 64u);  // the 65 rows, CB naming no key while the history is empty
  EXPECT_EQ(keys.front(), "URL");
  EXPECT_EQ(keys.back(), "LogFile");
  EXPECT_FALSE(ini.HasSection("Quorvel"));
  EXPECT_NE(ini.Text().find("Folder=/opt/q\n"), std::string::npos);
  EXPECT_NE(ini.Text().find("Width=791\n"), std::string::npos);
}

TEST(SettingsFile, ExtrasLiveInTheirOwnSection) {
  // An earlier version kept Metrics at the end of [Plotter]: it is read, and
  // left where it stands.
  const IniFile old = IniFile::Parse("[Plotter]\nURL=\nMetrics=1\n");
  const Settings s = ReadSettings(old, {}).settings;
  EXPECT_TRUE(s.extras.metrics);
  IniFile saved = old;
  WriteSettings(s, saved);
  const std::vector<std::string> extras = KeysOf(saved.Text(), "Quorvel");
  ASSERT_EQ(extras.size(), ExtraSettingKeys().size());
  EXPECT_EQ((std::vector<std::string>(extras.begin(), extras.begin() + 2)),
            (std::vector<std::string>{"Metrics", "Distribution"}));
  EXPECT_EQ(KeysOf(saved.Text(), "Plotter")[1], "Metrics");
  EXPECT_LT(saved.Text().find("[Plotter]"), saved.Text().find("[Quorvel]"));

  // A section that exists is kept up to date, also back at the defaults.
  Settings off = s;
  off.extras = {};
  WriteSettings(off, saved);
  EXPECT_NE(saved.Text().find("[Quorvel]\nMetrics=0\nDistribution=0\nPreciseScale=0\n"),
            std::string::npos);
}

TEST(SettingsFile, AnUnreadableColourIsReportedAndTakesItsDefault) {
  const LoadedSettings l = ReadSettings(IniFile::Parse("[Plotter]\nGrid=notacolour\n"), {});
  ASSERT_EQ(l.errors.size(), 1u);
  EXPECT_EQ(l.errors[0].key, "Grid");
  EXPECT_EQ(l.errors[0].message, "'notacolour' is not a valid integer value");
  EXPECT_EQ(l.settings.graph.grid, kGray);
}

}  // namespace
}  // namespace quorvel
