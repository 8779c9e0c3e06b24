#include "settings/inifile.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace quorvel {
namespace {

namespace fs = std::filesystem;

// A fresh, empty folder for one test.
fs::path TestDir() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  fs::path dir = fs::path(QUORVEL_TEST_TMP) / "inifile" /
                 (std::string(info->test_suite_name()) + "." + info->name());
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::size_t FilesIn(const fs::path& dir) {
  return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

// ---- reading ---------------------------------------------------------------

struct ReadCase {
  const char* what;
  std::string file;
  std::string section;
  std::string key;
  std::string defaultValue;
  std::string expected;
};

TEST(IniFileRead, FollowsTheProfileRules) {
  const std::string longValue(3000, 'x');
  const std::vector<ReadCase> cases = {
      {"plain", "[Plotter]\nKey=value\n", "Plotter", "Key", "d", "value"},
      {"blanks and tabs trimmed", "[Plotter]\nKey= \t a b \t \n", "Plotter", "Key", "d", "a b"},
      {"blanks around the name", "[Plotter]\n \tKey \t= v\n", "Plotter", "Key", "d", "v"},
      {"double quotes removed", "[Plotter]\nKey=\" a \"\n", "Plotter", "Key", "d", " a "},
      {"single quotes removed", "[Plotter]\nKey= 'x' \n", "Plotter", "Key", "d", "x"},
      {"quotes inside kept", "[Plotter]\nKey=\"a\"b\"\n", "Plotter", "Key", "d", "a\"b"},
      {"unmatched quotes kept", "[Plotter]\nKey=\"x'\n", "Plotter", "Key", "d", "\"x'"},
      {"lone quote kept", "[Plotter]\nKey=\"\n", "Plotter", "Key", "d", "\""},
      {"empty quotes", "[Plotter]\nKey=''\n", "Plotter", "Key", "d", ""},
      {"empty value is no default", "[Plotter]\nKey=\n", "Plotter", "Key", "d", ""},
      {"equals sign in value", "[Plotter]\nKey=a=b\n", "Plotter", "Key", "d", "a=b"},
      {"section and key case", "[pLOTTER]\nkEY=1\n", "PLOTTER", "key", "d", "1"},
      {"blanks inside brackets", "[ Plotter ]\nKey=1\n", "plotter", "Key", "d", "1"},
      {"missing key", "[Plotter]\nOther=1\n", "Plotter", "Key", "d", "d"},
      {"missing section", "[Other]\nKey=1\n", "Plotter", "Key", "d", "d"},
      {"empty file", "", "Plotter", "Key", "d", "d"},
      {"key before any section", "Key=1\n[Plotter]\n", "Plotter", "Key", "d", "d"},
      {"key of the next section", "[Plotter]\n[Next]\nKey=1\n", "Plotter", "Key", "d", "d"},
      {"comment line", "[Plotter]\n;Key=1\n", "Plotter", "Key", "d", "d"},
      {"line without equals", "[Plotter]\nKey\n", "Plotter", "Key", "d", "d"},
      {"first key of a name", "[Plotter]\nKey=1\nkey=2\n", "Plotter", "Key", "d", "1"},
      {"first section of a name", "[Plotter]\nA=1\n[plotter]\nKey=2\n", "Plotter", "Key", "d", "d"},
      {"CR LF lines", "[Plotter]\r\nKey=v\r\nNext=w\r\n", "Plotter", "Key", "d", "v"},
      {"last line without end", "[Plotter]\nKey=v", "Plotter", "Key", "d", "v"},
      {"default trailing blanks", "", "Plotter", "Key", " a \t ", " a"},
      {"default of one blank", "", "Plotter", "Key", " ", ""},
      {"default not unquoted", "", "Plotter", "Key", "'q'", "'q'"},
      {"value cut to 2047", "[Plotter]\nKey=" + longValue + "\n", "Plotter", "Key", "",
       longValue.substr(0, 2047)},
      {"quoted value cut to 2047", "[Plotter]\nKey=\"" + longValue + "\"\n", "Plotter", "Key", "",
       longValue.substr(0, 2047)},
      {"default cut to 2047", "", "Plotter", "Key", longValue, longValue.substr(0, 2047)},
      {"2047 kept whole", "[Plotter]\nKey=" + longValue.substr(0, 2047) + "\n", "Plotter", "Key",
       "", longValue.substr(0, 2047)},
  };
  for (const ReadCase& c : cases) {
    EXPECT_EQ(IniFile::Parse(c.file).ReadString(c.section, c.key, c.defaultValue), c.expected)
        << c.what;
  }
}

TEST(IniFileRead, IntegersAndBooleans) {
  const IniFile ini = IniFile::Parse(
      "[Plotter]\nA=12\nB=$1F\nC=0x10\nD=junk\nE=-3\nF=0\nG=7\nH=\n");
  EXPECT_EQ(ini.ReadInteger("Plotter", "A", 5), 12);
  EXPECT_EQ(ini.ReadInteger("Plotter", "B", 5), 31);
  EXPECT_EQ(ini.ReadInteger("Plotter", "C", 5), 16);
  EXPECT_EQ(ini.ReadInteger("Plotter", "D", 5), 5);
  EXPECT_EQ(ini.ReadInteger("Plotter", "E", 5), -3);
  EXPECT_EQ(ini.ReadInteger("Plotter", "H", 5), 5);
  EXPECT_EQ(ini.ReadInteger("Plotter", "Missing", 5), 5);
  EXPECT_FALSE(ini.ReadBool("Plotter", "F", true));
  EXPECT_TRUE(ini.ReadBool("Plotter", "G", false));
  EXPECT_TRUE(ini.ReadBool("Plotter", "E", false));
  EXPECT_TRUE(ini.ReadBool("Plotter", "D", true));
  EXPECT_FALSE(ini.ReadBool("Plotter", "D", false));
  EXPECT_TRUE(ini.ReadBool("Plotter", "Missing", true));
}

TEST(IniFileRead, MissingOrUnreadableFileIsEmpty) {
  const fs::path dir = TestDir();
  EXPECT_EQ(IniFile::Load((dir / "none.ini").string()).Text(), "");
  EXPECT_EQ(IniFile::Load(dir.string()).ReadString("Plotter", "Key", "d"), "d");
  const fs::path fifo = dir / "fifo.ini";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(IniFile::Load(fifo.string()).Text(), "");  // and does not block
}

// ---- writing ---------------------------------------------------------------

struct WriteCase {
  const char* what;
  std::string before;
  std::vector<std::pair<std::string, std::string>> writes;  // key, value in [Plotter]
  std::string after;
};

TEST(IniFileWrite, ChangesOnlyWhatIsWritten) {
  const std::string other = "; settings\n[Other]\nURL=keep\n\n";
  const std::vector<WriteCase> cases = {
      {"replace where it stands", other + "[Plotter]\n; note\nURL=old\nStop=1\n\n[Last]\nx=1\n",
       {{"URL", "new"}},
       other + "[Plotter]\n; note\nURL=new\nStop=1\n\n[Last]\nx=1\n"},
      {"name keeps its spelling", "[Plotter]\n  url  =  old  \n", {{"URL", "n"}},
       "[Plotter]\nurl=n\n"},
      {"append after the last key", "[Plotter]\nA=1\n; tail\n\n[Next]\nB=2\n", {{"C", "3"}, {"D", "4"}},
       "[Plotter]\nA=1\nC=3\nD=4\n; tail\n\n[Next]\nB=2\n"},
      {"append after a bare header", "[Plotter]\n\n[Next]\n", {{"C", "3"}},
       "[Plotter]\nC=3\n\n[Next]\n"},
      {"missing section at the end", other, {{"A", "1"}, {"B", "2"}},
       other + "[Plotter]\nA=1\nB=2\n"},
      {"last line gets an end", "[Other]\nx=1", {{"A", "1"}}, "[Other]\nx=1\n[Plotter]\nA=1\n"},
      {"last key line gets an end", "[Plotter]\nx=1", {{"A", "1"}}, "[Plotter]\nx=1\nA=1\n"},
      {"unterminated last line stays last", "[Plotter]\nx=1\n;end", {{"A", "1"}},
       "[Plotter]\nx=1\nA=1\n;end"},
      {"new document", "", {{"A", "1"}, {"B", ""}}, "[Plotter]\nA=1\nB=\n"},
      {"CR LF kept", "[Other]\r\nx=1\r\n[Plotter]\r\nA=1\r\n", {{"A", "2"}, {"B", "3"}},
       "[Other]\r\nx=1\r\n[Plotter]\r\nA=2\r\nB=3\r\n"},
      {"CR LF for a new section", "[Other]\r\nx=1\r\n", {{"A", "1"}},
       "[Other]\r\nx=1\r\n[Plotter]\r\nA=1\r\n"},
      {"each line keeps its own end", "[Plotter]\r\nA=1\nB=2\r\n", {{"A", "x"}, {"B", "y"}, {"C", "z"}},
       "[Plotter]\r\nA=x\nB=y\r\nC=z\r\n"},
      {"value cut at a line break", "", {{"A", std::string("one\ntwo")}, {"B", std::string("a\rb")},
                                         {"C", std::string("p\0q", 3)}},
       "[Plotter]\nA=one\nB=a\nC=p\n"},
      {"write twice", "", {{"A", "1"}, {"a", "2"}}, "[Plotter]\nA=2\n"},
      {"key in the first section of a name", "[Plotter]\nA=1\n[Plotter]\nB=1\n", {{"B", "2"}},
       "[Plotter]\nA=1\nB=2\n[Plotter]\nB=1\n"},
  };
  for (const WriteCase& c : cases) {
    IniFile ini = IniFile::Parse(c.before);
    for (const auto& [key, value] : c.writes) ini.Write("Plotter", key, value);
    EXPECT_EQ(ini.Text(), c.after) << c.what;
  }
}

TEST(IniFileWrite, UntouchedDocumentIsByteForByte) {
  const std::string bytes =
      "\xEF\xBB\xBF; \xC3\xA9t\xC3\xA9\r\n  [Plotter]  ; x\r\nA = 1 \r\n\r\n\tjunk line\n[B]\r\n=odd\r\nk";
  EXPECT_EQ(IniFile::Parse(bytes).Text(), bytes);
}

TEST(IniFileWrite, ReadsBackWhatItWrote) {
  IniFile ini = IniFile::Parse("[Plotter]\nA=1\n");
  ini.Write("Plotter", "A", "x y");
  ini.Write("Plotter", "B", "\"quoted\"");
  ini.Write("New", "C", "c");
  const IniFile again = IniFile::Parse(ini.Text());
  EXPECT_EQ(again.ReadString("Plotter", "A", ""), "x y");
  EXPECT_EQ(again.ReadString("Plotter", "B", ""), "quoted");
  EXPECT_EQ(again.ReadString("new", "c", ""), "c");
}

// ---- saving ----------------------------------------------------------------

// A last line cut off after the CR of its CR LF reads as the same line with
// its line end: a later write that puts a line after it does not change its
// value.
TEST(IniFileWrite, ACutOffLastLineReadsTheSameBeforeAndAfterAWrite) {
  IniFile doc = IniFile::Parse("[Plotter]\r\nTime=10\r");
  EXPECT_EQ(doc.ReadString("Plotter", "Time", ""), "10");
  EXPECT_EQ(doc.Text(), "[Plotter]\r\nTime=10\r");
  doc.Write("Other", "x", "1");
  EXPECT_EQ(IniFile::Parse(doc.Text()).ReadString("Plotter", "Time", ""), "10");
  // A CR inside a value is part of it.
  EXPECT_EQ(IniFile::Parse("[Plotter]\nA=1\r2\n").ReadString("Plotter", "A", ""), "1\r2");
}

TEST(IniFileSave, ReplacesTheWholeFile) {
  const fs::path dir = TestDir();
  const fs::path path = dir / "q.ini";
  WriteBytes(path, "[Other]\r\nx=1\r\n[Plotter]\r\nURL=a\r\n");
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);

  IniFile ini = IniFile::Load(path.string());
  ini.Write("Plotter", "URL", "b");
  ini.Write("Plotter", "Stop", "1");
  const Status status = ini.Save(path.string());
  ASSERT_TRUE(status.ok()) << status.message();
  EXPECT_EQ(ReadBytes(path), "[Other]\r\nx=1\r\n[Plotter]\r\nURL=b\r\nStop=1\r\n");
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(FilesIn(dir), 1u);  // no temporary file left

  EXPECT_TRUE(IniFile().Save((dir / "fresh.ini").string()).ok());
  EXPECT_EQ(ReadBytes(dir / "fresh.ini"), "");
}

// The settings file's way: created 0600, and a file others could read is
// tightened to its owner's bits; a read-only one is still not replaced.
TEST(IniFileSave, OwnerOnlyFilesKeepTheirOwnersBitsAlone) {
  const fs::path dir = TestDir();
  const struct {
    const char* name;
    int before;  // -1: no file yet
    unsigned after;
  } cases[] = {{"new.ini", -1, 0600}, {"shared.ini", 0644, 0600}, {"group.ini", 0660, 0600},
               {"strict.ini", 0600, 0600}};
  const mode_t mask = ::umask(022);
  for (const auto& c : cases) {
    const fs::path path = dir / c.name;
    if (c.before >= 0) {
      WriteBytes(path, "[Plotter]\n");
      ASSERT_EQ(::chmod(path.c_str(), static_cast<mode_t>(c.before)), 0);
    }
    OwnerOnlyFileSteps steps;
    ASSERT_TRUE(IniFile::Parse("[Plotter]\nPass=x\n").Save(path.string(), steps, kOwnerOnlyMode).ok());
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, c.after) << c.name;
  }
  ::umask(mask);
}

TEST(IniFileSave, WritesThroughASymbolicLink) {
  const fs::path dir = TestDir();
  fs::create_directory(dir / "real");
  WriteBytes(dir / "real" / "q.ini", "[Plotter]\nA=1\n");
  fs::create_symlink(dir / "real" / "q.ini", dir / "link.ini");

  IniFile ini = IniFile::Load((dir / "link.ini").string());
  ini.Write("Plotter", "A", "2");
  ASSERT_TRUE(ini.Save((dir / "link.ini").string()).ok());
  EXPECT_TRUE(fs::is_symlink(dir / "link.ini"));
  EXPECT_EQ(ReadBytes(dir / "real" / "q.ini"), "[Plotter]\nA=2\n");
}

// Counts the steps and fails the one it is told to.
class FaultySteps : public FileSteps {
 public:
  enum Step { kNone, kMayReplace, kCreate, kCopyMode, kWrite, kSync, kClose, kRename };
  explicit FaultySteps(Step failing) : failing_(failing) {}

  bool MayReplace(const std::string& path) override {
    return failing_ != kMayReplace && FileSteps::MayReplace(path);
  }
  int CreateNew(const std::string& path, mode_t mode) override {
    ++creates;
    if (failing_ == kCreate) {
      errno = EACCES;
      return -1;
    }
    return FileSteps::CreateNew(path, mode);
  }
  bool CopyMode(int fd, const std::string& from) override {
    return failing_ != kCopyMode && FileSteps::CopyMode(fd, from);
  }
  bool WriteAll(int fd, std::string_view bytes) override {
    ++writes;
    // A disk that fills up half-way through.
    if (failing_ == kWrite) {
      FileSteps::WriteAll(fd, bytes.substr(0, bytes.size() / 2));
      return false;
    }
    return FileSteps::WriteAll(fd, bytes);
  }
  bool SyncFile(int fd) override { return failing_ != kSync && FileSteps::SyncFile(fd); }
  bool CloseFile(int fd) override { return FileSteps::CloseFile(fd) && failing_ != kClose; }
  bool RenameOver(const std::string& from, const std::string& to) override {
    return failing_ != kRename && FileSteps::RenameOver(from, to);
  }

  int creates = 0;
  int writes = 0;

 private:
  Step failing_;
};

TEST(IniFileSave, AFailedStepLeavesTheOldFileIntact) {
  const fs::path dir = TestDir();
  const fs::path path = dir / "q.ini";
  const std::string old = "[Plotter]\nURL=old\nStop=0\n";
  for (auto step : {FaultySteps::kMayReplace, FaultySteps::kCreate, FaultySteps::kCopyMode,
                    FaultySteps::kWrite, FaultySteps::kSync, FaultySteps::kClose,
                    FaultySteps::kRename}) {
    WriteBytes(path, old);
    IniFile ini = IniFile::Load(path.string());
    ini.Write("Plotter", "URL", std::string(5000, 'n'));
    FaultySteps steps(step);
    std::error_code reason;
    const Status status = ini.Save(path.string(), steps, 0666, &reason);
    EXPECT_FALSE(status.ok()) << step;
    EXPECT_TRUE(reason) << step;  // and the reason why, for standard error
    EXPECT_EQ(status.message(), "Unable to write to " + path.string()) << step;
    EXPECT_EQ(ReadBytes(path), old) << step;
    EXPECT_EQ(FilesIn(dir), 1u) << step;
  }
}

TEST(IniFileSave, ManyKeysCostOneFileWrite) {
  const fs::path path = TestDir() / "q.ini";
  IniFile ini;
  for (int i = 0; i < 500; ++i) ini.Write("Plotter", "K" + std::to_string(i), std::to_string(i));
  FaultySteps counting(FaultySteps::kNone);
  ASSERT_TRUE(ini.Save(path.string(), counting).ok());
  EXPECT_EQ(counting.creates, 1);
  EXPECT_EQ(counting.writes, 1);
  EXPECT_EQ(IniFile::Load(path.string()).ReadString("plotter", "k499", ""), "499");
}

TEST(IniFileSave, UnwritableLocation) {
  const fs::path dir = TestDir();
  WriteBytes(dir / "plain file", "x");
  fs::create_directory(dir / "folder.ini");
  for (const fs::path& path : {dir / "no such folder" / "q.ini", dir / "plain file" / "q.ini",
                               dir / "folder.ini"}) {
    const Status status = IniFile::Parse("[Plotter]\nA=1\n").Save(path.string());
    EXPECT_FALSE(status.ok()) << path;
    EXPECT_EQ(status.message(), "Unable to write to " + path.string());
  }
  EXPECT_TRUE(fs::is_directory(dir / "folder.ini"));
  EXPECT_EQ(FilesIn(dir), 2u);  // no temporary file left
}

// Saves as a user who is not the superuser, so that permissions hold: in a
// child process that gives up the superuser's rights when the test has them.
// Returns the message of the failed save, "saved", or "unreachable" when that
// user cannot even see the folder.
std::string SaveAsOrdinaryUser(const IniFile& ini, const fs::path& path) {
  if (::geteuid() != 0) {
    const Status status = ini.Save(path.string());
    return status.ok() ? "saved" : status.message();
  }
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) return "no pipe";
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(pipeFds[0]);
    std::string result;
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) {
      result = "unreachable";
    } else if (::access(path.parent_path().c_str(), X_OK) != 0) {
      result = "unreachable";
    } else {
      const Status status = ini.Save(path.string());
      result = status.ok() ? "saved" : status.message();
    }
    const ssize_t written = ::write(pipeFds[1], result.data(), result.size());
    ::_exit(written == static_cast<ssize_t>(result.size()) ? 0 : 1);
  }
  ::close(pipeFds[1]);
  std::string result;
  char buffer[512];
  for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;) {
    result.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(pipeFds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  return result;
}

void OpenUpToTheTop(fs::path dir) {
  // The ordinary user must be able to reach the test folder.
  for (; dir.has_relative_path(); dir = dir.parent_path()) {
    if (dir.string().find("testtmp") == std::string::npos) break;
    ::chmod(dir.c_str(), 0777);
  }
}

TEST(IniFileSave, ReadOnlyFolder) {
  const fs::path dir = TestDir();
  OpenUpToTheTop(dir);
  const fs::path path = dir / "q.ini";
  WriteBytes(path, "[Plotter]\nA=1\n");
  ASSERT_EQ(::chmod(path.c_str(), 0666), 0);
  ASSERT_EQ(::chmod(dir.c_str(), 0555), 0);
  IniFile ini = IniFile::Load(path.string());
  ini.Write("Plotter", "A", "2");
  const std::string result = SaveAsOrdinaryUser(ini, path);
  ::chmod(dir.c_str(), 0755);
  if (result == "unreachable") GTEST_SKIP() << "the test folder is out of an ordinary user's reach";
  EXPECT_EQ(result, "Unable to write to " + path.string());
  EXPECT_EQ(ReadBytes(path), "[Plotter]\nA=1\n");
  EXPECT_EQ(FilesIn(dir), 1u);
}

TEST(IniFileSave, ReadOnlyFileIsNotReplaced) {
  const fs::path dir = TestDir();
  OpenUpToTheTop(dir);
  const fs::path path = dir / "q.ini";
  WriteBytes(path, "[Plotter]\nA=1\n");
  ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
  ASSERT_EQ(::chmod(dir.c_str(), 0777), 0);  // a rename could replace it
  IniFile ini = IniFile::Load(path.string());
  ini.Write("Plotter", "A", "2");
  const std::string result = SaveAsOrdinaryUser(ini, path);
  if (result == "unreachable") GTEST_SKIP() << "the test folder is out of an ordinary user's reach";
  EXPECT_EQ(result, "Unable to write to " + path.string());
  EXPECT_EQ(ReadBytes(path), "[Plotter]\nA=1\n");
  EXPECT_EQ(FilesIn(dir), 1u);
}

}  // namespace
}  // namespace quorvel
