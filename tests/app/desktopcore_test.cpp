// The widget-free rules behind the program's life on a Linux desktop: where
// its files live, what an interrupted save leaves, readable text colours,
// the informative arguments and the web server's start failure message.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <system_error>

#include "app/commandline.h"
#include "graph/contrast.h"
#include "settings/inifile.h"
#include "app/settingslocation.h"
#include "app/webstartfailure.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;

// ---- where the files live --------------------------------------------------

TEST(LocateProgramFiles, BesideTheProgramWhereItsFolderIsWritableElsePerUser) {
  const DesktopFolders folders{"/home/u/.config", "/run/user/1000", "/tmp"};
  const DesktopFolders noRuntime{"/home/u/.config", "", "/var/tmp"};
  const std::string uid = std::to_string(::getuid());
  const struct {
    const char* name;
    bool writable;
    std::set<std::string> existing;
    DesktopFolders folders;
    ProgramFiles expected;
  } cases[] = {
      {"writable folder", true, {"/home/u/.config/quorvel/quorvel.ini"}, folders,
       {"/opt/q/quorvel.ini", "/opt/q/quorvel.ini", "/opt/q/quorvel.html", true}},
      {"read-only, first start", false, {}, folders,
       {"/home/u/.config/quorvel/quorvel.ini", "/home/u/.config/quorvel/quorvel.ini",
        "/run/user/1000/quorvel.html", false}},
      {"read-only, a preset beside the program", false, {"/opt/q/quorvel.ini"}, folders,
       {"/opt/q/quorvel.ini", "/home/u/.config/quorvel/quorvel.ini", "/run/user/1000/quorvel.html",
        false}},
      {"read-only, saved once", false,
       {"/opt/q/quorvel.ini", "/home/u/.config/quorvel/quorvel.ini"}, folders,
       {"/home/u/.config/quorvel/quorvel.ini", "/home/u/.config/quorvel/quorvel.ini",
        "/run/user/1000/quorvel.html", false}},
      {"read-only, no runtime folder", false, {}, noRuntime,
       {"/home/u/.config/quorvel/quorvel.ini", "/home/u/.config/quorvel/quorvel.ini",
        "/var/tmp/quorvel-" + uid + "/quorvel.html", false}},
      {"read-only, no per-user folder at all", false, {}, DesktopFolders{"", "", "/tmp"},
       {"/opt/q/quorvel.ini", "/opt/q/quorvel.ini", "/tmp/quorvel-" + uid + "/quorvel.html", false}},
  };
  for (const auto& c : cases) {
    FileSystemQueries queries;
    queries.folderWritable = [&c](const std::string& folder) {
      EXPECT_EQ(folder, "/opt/q");
      return c.writable;
    };
    queries.fileExists = [&c](const std::string& path) { return c.existing.count(path) > 0; };
    const ProgramFiles files = LocateProgramFiles("/opt/q/quorvel", c.folders, queries);
    EXPECT_EQ(files.settingsLoad, c.expected.settingsLoad) << c.name;
    EXPECT_EQ(files.settingsSave, c.expected.settingsSave) << c.name;
    EXPECT_EQ(files.help, c.expected.help) << c.name;
    EXPECT_EQ(files.besideExecutable, c.expected.besideExecutable) << c.name;
  }
}

TEST(UserFileFolders, BesideTheProgramElseThePicturesAndDocumentsThatExist) {
  const UserFolders folders{"/h", "/h/Pictures", "/h/Documents"};
  const struct {
    const char* name;
    bool beside;
    std::set<std::string> existing;
    UserFileFolders expected;
  } cases[] = {
      {"writable folder", true, {"/h", "/h/Pictures", "/h/Documents"}, {"/opt/q", "/opt/q"}},
      {"installed", false, {"/h", "/h/Pictures", "/h/Documents"}, {"/h/Pictures", "/h/Documents"}},
      {"installed, no Pictures", false, {"/h", "/h/Documents"}, {"/h", "/h/Documents"}},
      {"installed, no home", false, {}, {"/opt/q", "/opt/q"}},
  };
  for (const auto& c : cases) {
    ProgramFiles files;
    files.besideExecutable = c.beside;
    const UserFileFolders f = UserFileFoldersFor(
        files, "/opt/q/quorvel", folders, [&c](const std::string& d) { return c.existing.count(d) > 0; });
    EXPECT_EQ(f.images, c.expected.images) << c.name;
    EXPECT_EQ(f.documents, c.expected.documents) << c.name;
  }
}

TEST(DesktopFoldersFromEnvironment, FollowsTheXdgVariables) {
  const struct {
    const char* configHome;
    const char* home;
    const char* runtime;
    const char* tmp;
    DesktopFolders expected;
  } cases[] = {
      {"/c", "/h", "/r", "/t", {"/c", "/r", "/t"}},
      {nullptr, "/h", nullptr, nullptr, {"/h/.config", "", "/tmp"}},
      {"relative", "/h", "relative", "relative", {"/h/.config", "", "/tmp"}},
      {"", "", nullptr, nullptr, {"", "", "/tmp"}},
  };
  const char* names[] = {"XDG_CONFIG_HOME", "HOME", "XDG_RUNTIME_DIR", "TMPDIR"};
  std::map<std::string, std::string> saved;
  for (const char* name : names) {
    if (const char* v = std::getenv(name)) saved[name] = v;
  }
  for (const auto& c : cases) {
    const char* values[] = {c.configHome, c.home, c.runtime, c.tmp};
    for (int i = 0; i < 4; ++i) {
      if (values[i]) setenv(names[i], values[i], 1); else unsetenv(names[i]);
    }
    const DesktopFolders f = DesktopFoldersFromEnvironment();
    EXPECT_EQ(f.configHome, c.expected.configHome);
    EXPECT_EQ(f.runtimeDir, c.expected.runtimeDir);
    EXPECT_EQ(f.tempDir, c.expected.tempDir);
  }
  for (const char* name : names) {
    if (saved.count(name)) setenv(name, saved[name].c_str(), 1); else unsetenv(name);
  }
}

class FolderTest : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(QUORVEL_TEST_TMP) / ("desktopcore-" + std::to_string(::getpid()) + "-" +
                                         testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  static void Touch(const fs::path& path, std::time_t mtime = 0) {
    std::ofstream(path) << "x";
    if (mtime != 0) {
      const struct timespec times[2] = {{mtime, 0}, {mtime, 0}};
      ::utimensat(AT_FDCWD, path.c_str(), times, 0);
    }
  }
  fs::path dir_;
};

TEST_F(FolderTest, SettingsFolderIsMadeForItsFirstSave) {
  const fs::path ini = dir_ / "config" / "quorvel" / "quorvel.ini";
  ASSERT_TRUE(MakeParentFolders(ini.string()));
  EXPECT_TRUE(fs::is_directory(ini.parent_path()));
  EXPECT_EQ(fs::status(ini.parent_path()).permissions() & fs::perms::all, fs::perms::owner_all);
  EXPECT_TRUE(MakeParentFolders(ini.string()));  // already there
  Touch(dir_ / "file");
  EXPECT_FALSE(MakeParentFolders((dir_ / "file" / "quorvel.ini").string()));
}

TEST_F(FolderTest, HelpFolderInTheTemporaryFolderIsThisUsersOwn) {
  const std::string folder = (dir_ / ("quorvel-" + std::to_string(::getuid()))).string();
  const std::string help = folder + "/quorvel.html";
  ASSERT_TRUE(PrepareHelpFolder(help));
  EXPECT_EQ(fs::status(folder).permissions() & fs::perms::all, fs::perms::owner_all);
  EXPECT_TRUE(PrepareHelpFolder(help));
  RemoveHelpFolder(help);
  EXPECT_FALSE(fs::exists(folder));

  // One that others may write into, or a link planted in its place, is refused.
  fs::create_directory(folder);
  fs::permissions(folder, fs::perms::all);
  EXPECT_FALSE(PrepareHelpFolder(help));
  fs::remove(folder);
  fs::create_directory(dir_ / "elsewhere");
  fs::create_directory_symlink(dir_ / "elsewhere", folder);
  EXPECT_FALSE(PrepareHelpFolder(help));
  // Any other folder (the runtime folder, the program's own) is the caller's.
  EXPECT_TRUE(PrepareHelpFolder((dir_ / "quorvel.html").string()));
}

// A FileSteps whose save is interrupted before the rename, leaving its
// temporary file as a killed program would.
class InterruptedSave : public FileSteps {
 public:
  bool RenameOver(const std::string&, const std::string&) override { return false; }
  void RemoveFile(const std::string&) override {}
};

TEST_F(FolderTest, StaleTemporariesOfAnInterruptedSaveAreRemoved) {
  const std::string ini = (dir_ / "quorvel.ini").string();
  IniFile document;
  document.Write("Plotter", "Time", "10");
  InterruptedSave interrupted;
  ASSERT_FALSE(document.Save(ini, interrupted).ok());
  fs::path left;
  for (const auto& entry : fs::directory_iterator(dir_)) left = entry.path();
  ASSERT_EQ(left.filename().string().rfind(".quorvel.ini.tmp" + std::to_string(::getpid()) + "-", 0), 0u)
      << left;

  const std::time_t now = std::time(nullptr);
  Touch(dir_ / ".quorvel.ini.tmp77-0", now);           // another copy, saving now
  Touch(dir_ / ".quorvel.ini.tmp77-1", now - 3600);    // an id reused since long ago
  Touch(dir_ / ".quorvel.ini.tmpx-1", now - 3600);     // not one of ours
  Touch(dir_ / ".other.ini.tmp5-0", now - 3600);
  Touch(dir_ / "quorvel.ini", now - 3600);
  const long ours = ::getpid();
  auto alive = [ours](long pid) { return pid == 77 || pid == ours + 1; };  // this process is gone

  EXPECT_EQ(RemoveStaleSaveTemporaries(ini, alive, now), 2);
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir_)) names.insert(entry.path().filename().string());
  EXPECT_EQ(names, (std::set<std::string>{".quorvel.ini.tmp77-0", ".quorvel.ini.tmpx-1",
                                           ".other.ini.tmp5-0", "quorvel.ini"}));
}

TEST(ProcessAlive, KnowsThisProcessAndNoImpossibleOne) {
  EXPECT_TRUE(ProcessAlive(::getpid()));
  EXPECT_FALSE(ProcessAlive(0));
  EXPECT_FALSE(ProcessAlive(-1));
  EXPECT_FALSE(ProcessAlive(99999999999L));
}

// ---- readable colours --------------------------------------------------------

TEST(Contrast, RatiosAsWcagDefinesThem) {
  EXPECT_NEAR(ContrastRatio({0, 0, 0}, {255, 255, 255}), 21.0, 1e-9);
  EXPECT_NEAR(ContrastRatio({255, 255, 255}, {0, 0, 0}), 21.0, 1e-9);
  EXPECT_NEAR(ContrastRatio({0, 0, 255}, {255, 255, 255}), 8.59, 0.01);
  EXPECT_NEAR(ContrastRatio({128, 0, 0}, {255, 255, 255}), 10.95, 0.01);
  EXPECT_NEAR(ContrastRatio({119, 119, 119}, {255, 255, 255}), 4.48, 0.01);
}

TEST(Contrast, AccentsStayWhereReadableAndLightenOnDark) {
  const Rgb blue{0, 0, 255}, maroon{128, 0, 0};
  const Rgb light{239, 239, 239}, dark{53, 53, 53}, black{0, 0, 0}, mid{128, 128, 128};
  // On the usual light window nothing changes.
  EXPECT_EQ(ReadableOn(blue, light), blue);
  EXPECT_EQ(ReadableOn(maroon, light), maroon);
  for (const Rgb& background : {dark, black, mid, Rgb{30, 30, 60}, Rgb{90, 0, 0}}) {
    for (const Rgb& wanted : {blue, maroon}) {
      const Rgb shown = ReadableOn(wanted, background);
      EXPECT_GE(ContrastRatio(shown, background), kReadableContrast)
          << background.r << "," << background.g << "," << background.b;
      // The hue is kept: the accent's own channel stays the strongest.
      const int own = wanted == blue ? shown.b : shown.r;
      const int others = wanted == blue ? std::max(shown.r, shown.g) : std::max(shown.g, shown.b);
      EXPECT_GE(own, others);
    }
  }
  // No more change than needed: just readable, not white.
  const Rgb shown = ReadableOn(blue, dark);
  EXPECT_LT(ContrastRatio(shown, dark), kReadableContrast + 0.2);
}

// ---- arguments ---------------------------------------------------------------

TEST(AddressArgument, TheFirstArgumentThatIsNoOption) {
  auto ask = [](std::initializer_list<const char*> arguments) {
    std::vector<const char*> argv{"quorvel"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    argv.push_back(nullptr);
    return AddressArgument(static_cast<int>(argv.size() - 1), argv.data());
  };
  EXPECT_FALSE(ask({}).has_value());
  EXPECT_FALSE(ask({"-x", "--verbose"}).has_value());
  EXPECT_EQ(ask({"-x", "192.0.2.1", "other"}).value(), "192.0.2.1");
  EXPECT_EQ(ask({"--", "-odd", "x"}).value(), "-odd");
  EXPECT_EQ(ask({"", "host.example"}).value(), "host.example");
}

TEST(InformationRequested, HelpAndVersionOnlyEverythingElseIgnored) {
  auto ask = [](std::initializer_list<const char*> arguments) {
    std::vector<const char*> argv{"quorvel"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    argv.push_back(nullptr);
    return InformationRequested(static_cast<int>(argv.size() - 1), argv.data());
  };
  EXPECT_FALSE(ask({}).has_value());
  EXPECT_FALSE(ask({"-platform", "offscreen", "--helpme", "-h", "version"}).has_value());
  EXPECT_EQ(ask({"--version"}).value(), "Quorvel 1.2\n");
  const std::string help = ask({"--help"}).value();
  EXPECT_EQ(help.rfind("Usage: quorvel [ADDRESS]\n       quorvel [--help | --version]\n", 0), 0u);
  EXPECT_NE(help.find("~/.config/quorvel/quorvel.ini"), std::string::npos);
  EXPECT_EQ(ask({"ignored", "--version", "--help"}).value(), "Quorvel 1.2\n");  // the first counts
}

// ---- the web server's start failure --------------------------------------------

TEST(WebServerStartFailure, NamesThePortTheReasonAndTheUsualCause) {
  const std::error_code denied(EACCES, std::system_category());
  const std::error_code inUse(EADDRINUSE, std::system_category());
  const struct {
    int port;
    const char* error;
    std::error_code code;
    const char* message;
  } cases[] = {
      {80, "Permission denied", denied,
       "Unable to start the web server on port 80: Permission denied (ports below 1024 need "
       "privileges)"},
      {1023, "Permission denied", std::make_error_code(std::errc::permission_denied),
       "Unable to start the web server on port 1023: Permission denied (ports below 1024 need "
       "privileges)"},
      {8080, "Permission denied", denied, "Unable to start the web server on port 8080: Permission denied"},
      {80, "Address already in use", inUse, "Unable to start the web server on port 80: Address already in use"},
      {80, "Host not found", {}, "Unable to start the web server on port 80: Host not found"},
      {80, "", {}, "Unable to start the web server on port 80"},
  };
  for (const auto& c : cases) EXPECT_EQ(WebServerStartFailure(c.port, c.error, c.code), c.message);
}

}  // namespace
}  // namespace quorvel
