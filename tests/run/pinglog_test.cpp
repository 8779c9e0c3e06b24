#include "common/fixedclock.h"
#include "common/fulldisk.h"
#include "run/pinglog.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "graph/plotdata.h"
#include "graph/seriesstatistics.h"
#include "run/usererror.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;

// Records what would be appended; ForceError makes the next appends fail.
class FakeAppender final : public FileAppender {
 public:
  bool DirectoryExists(const std::string& path) const override {
    return directories.count(path) > 0;
  }
  std::error_code Append(const std::string& path, std::string_view bytes) override {
    ++calls;
    if (error) return error;
    files[path] += bytes;
    return {};
  }
  void ForceError(std::errc e) { error = std::make_error_code(e); }

  std::set<std::string> directories{"/logs/"};
  std::map<std::string, std::string> files;
  std::error_code error;
  int calls = 0;
};

LogSettings OnlyLogOver(int threshold) {
  LogSettings s;
  s.mode = {false, false, true};
  s.threshold = threshold;
  s.fileName = "/logs/ping.txt";
  return s;
}

TEST(LogRuleTest, ModesAndThreshold) {
  const struct {
    const char* what;
    LogModeChecks mode;
    double comparison;
    bool logged;
  } cases[] = {
      {"all", {false, true, false}, 0, true},
      {"only, at the threshold", {false, false, true}, 50, false},
      {"only, above", {false, false, true}, 51, true},
      {"only, just above", {false, false, true}, 50.5, true},
      {"only, below", {false, false, true}, 3, false},
      {"no log", {true, false, false}, 1000, false},
      {"none checked", {false, false, false}, 1000, false},
  };
  for (const auto& c : cases) {
    LogSettings s = OnlyLogOver(50);
    s.mode = c.mode;
    EXPECT_EQ(LogRuleHolds(s, c.comparison), c.logged) << c.what;
  }
}

TEST(LogStepTest, ThresholdOnTheAverageLogsThePing) {
  // The comparison values come from the statistics step, as in a tick.
  FixedClock clock{kMonday7December2026};
  FakeAppender files;
  const LogSettings s = OnlyLogOver(50);
  PlotData data;
  for (const int ping : {40, 61}) {
    data.AddPing(ping, kRed, 0);
    const double comparison = StatisticsStep(data, ping, true, kRed, 0).comparison;
    LogStep(s, std::to_string(ping), comparison, clock, files);
  }
  // First tick: one point, its own 40. Second: average 50.5 > 50.
  EXPECT_EQ(files.calls, 1);
  EXPECT_EQ(files.files["/logs/ping.txt"], "Mon 07 Dec 2026  14:05:09, 61ms\r\n");
}

TEST(LogStepTest, NoExistingDirectoryWritesNothing) {
  FixedClock clock{kMonday7December2026};
  FakeAppender files;
  LogSettings s;
  s.mode = {false, true, false};
  for (const char* name : {"", "ping.txt", "/gone/ping.txt"}) {
    s.fileName = name;
    EXPECT_FALSE(LogStep(s, "85", 85, clock, files)) << name;
  }
  EXPECT_EQ(files.calls, 0);
}

TEST(LogStepTest, ForcedErrorThrowsTheSystemTextAndTheNextStepTriesAgain) {
  FixedClock clock{kMonday7December2026};
  FakeAppender files;
  LogSettings s = OnlyLogOver(0);
  files.ForceError(std::errc::no_space_on_device);
  try {
    LogStep(s, "85", 85, clock, files);
    FAIL() << "no error";
  } catch (const UserError& e) {
    EXPECT_STREQ(e.what(), "No space left on device");
  }
  files.error.clear();
  EXPECT_TRUE(LogStep(s, "86", 86, clock, files));
  EXPECT_EQ(files.calls, 2);
  EXPECT_EQ(files.files["/logs/ping.txt"], "Mon 07 Dec 2026  14:05:09, 86ms\r\n");
}

TEST(WriteAllTest, GoesOnAfterShortAndInterruptedWrites) {
  std::string out;
  int calls = 0;
  const WriteCall trickle = [&](int, const void* data, std::size_t size) -> ssize_t {
    ++calls;
    if (calls % 3 == 1) {
      errno = EINTR;
      return -1;
    }
    const std::size_t n = size < 2 ? size : 2;
    out.append(static_cast<const char*>(data), n);
    return static_cast<ssize_t>(n);
  };
  EXPECT_FALSE(WriteAll(-1, "Mon 07 Dec, 85ms\r\n", trickle));
  EXPECT_EQ(out, "Mon 07 Dec, 85ms\r\n");
}

TEST(WriteAllTest, ReportsTheFirstRealError) {
  const WriteCall full = [](int, const void*, std::size_t) -> ssize_t {
    errno = ENOSPC;
    return -1;
  };
  EXPECT_EQ(WriteAll(-1, "x", full), std::errc::no_space_on_device);
  const WriteCall stuck = [](int, const void*, std::size_t) -> ssize_t { return 0; };
  EXPECT_EQ(WriteAll(-1, "x", stuck), std::errc::io_error);
}

// The real appender against a scratch directory of the build tree.
class PosixLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(QUORVEL_TEST_TMP);
    std::string pattern = std::string(QUORVEL_TEST_TMP) + "/pinglog-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    settings_.mode = {false, true, false};
    settings_.fileName = dir_ + "/ping.txt";
  }
  void TearDown() override {
    std::error_code ignored;
    fs::permissions(dir_, fs::perms::owner_all, ignored);
    fs::remove_all(dir_, ignored);
  }

  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  static std::size_t OpenDescriptors() {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
  }
  // Runs one step that must fail and returns its message.
  std::string FailingStep() {
    try {
      LogStep(settings_, "85", 85, clock_, appender_);
    } catch (const UserError& e) {
      return e.what();
    }
    ADD_FAILURE() << "no error";
    return {};
  }

  std::string dir_;
  LogSettings settings_;
  FixedClock clock_{kMonday7December2026};
  PosixFileAppender appender_;
};

TEST_F(PosixLogTest, AppendsOneLinePerStep) {
  EXPECT_TRUE(LogStep(settings_, "85", 85, clock_, appender_));
  clock_.time.second = 19;
  EXPECT_TRUE(LogStep(settings_, "3000", 3000, clock_, appender_));
  EXPECT_EQ(Read(settings_.fileName),
            "Mon 07 Dec 2026  14:05:09, 85ms\r\n"
            "Mon 07 Dec 2026  14:05:19, 3000ms\r\n");
}

TEST_F(PosixLogTest, KeepsWhatIsInTheFileAndRecreatesADeletedOne) {
  std::ofstream(settings_.fileName, std::ios::binary) << "earlier\r\n";
  EXPECT_TRUE(LogStep(settings_, "85", 85, clock_, appender_));
  EXPECT_EQ(Read(settings_.fileName), "earlier\r\nMon 07 Dec 2026  14:05:09, 85ms\r\n");
  fs::remove(settings_.fileName);
  EXPECT_TRUE(LogStep(settings_, "86", 86, clock_, appender_));
  EXPECT_EQ(Read(settings_.fileName), "Mon 07 Dec 2026  14:05:09, 86ms\r\n");
}

// A full disk: the step fails with the system's reason, and the log ends at
// its last whole line.
TEST_F(PosixLogTest, AFullDiskLeavesNoHalfLine) {
  std::string why;
  const int status = InFullTmpfs(dir_ + "/full", "4k", [this](const std::string& folder) {
    settings_.fileName = folder + "/ping.txt";
    std::string message;
    for (int i = 0; i < 1000 && message.empty(); ++i) {
      try {
        LogStep(settings_, "85", 85, clock_, appender_);
      } catch (const UserError& e) {
        message = e.what();
      }
    }
    const std::string text = Read(settings_.fileName);
    if (message != "No space left on device") return 10;
    return text.size() % 33 == 0 && text.size() >= 33 * 100 ? 0 : 11;  // 33 bytes a line
  }, why);
  if (status < 0) GTEST_SKIP() << "no tmpfs of our own (" << why << "): run as root";
  EXPECT_EQ(status, 0);
}

TEST_F(PosixLogTest, RemovedDirectoryWritesNothingSilently) {
  settings_.fileName = dir_ + "/gone/ping.txt";
  EXPECT_FALSE(LogStep(settings_, "85", 85, clock_, appender_));
  EXPECT_FALSE(fs::exists(settings_.fileName));
}

TEST_F(PosixLogTest, NameOfADirectoryFailsUntilItIsGone) {
  fs::create_directory(settings_.fileName);
  EXPECT_EQ(FailingStep(), "Is a directory");
  fs::remove(settings_.fileName);
  EXPECT_TRUE(LogStep(settings_, "85", 85, clock_, appender_));
  EXPECT_EQ(Read(settings_.fileName), "Mon 07 Dec 2026  14:05:09, 85ms\r\n");
}

TEST_F(PosixLogTest, FullDeviceFailsAndLeavesNoDescriptorOpen) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  settings_.fileName = "/dev/full";
  const std::size_t before = OpenDescriptors();
  EXPECT_EQ(FailingStep(), "No space left on device");
  EXPECT_EQ(OpenDescriptors(), before);
}

TEST_F(PosixLogTest, ReadOnlyDirectoryFailsUntilItIsWritable) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only directories";
  fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_EQ(FailingStep(), "Permission denied");
  fs::permissions(dir_, fs::perms::owner_all);
  EXPECT_TRUE(LogStep(settings_, "85", 85, clock_, appender_));
}

TEST_F(PosixLogTest, FifoWithoutReaderFailsInsteadOfHanging) {
  settings_.fileName = dir_ + "/fifo";
  ASSERT_EQ(::mkfifo(settings_.fileName.c_str(), 0600), 0);
  EXPECT_EQ(FailingStep(), "No such device or address");
}

}  // namespace
}  // namespace quorvel
