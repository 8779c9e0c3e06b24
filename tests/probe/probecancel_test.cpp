// A probe cut short: the child is killed at once when the caller says stop,
// and the response is left as it was.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "probe/processrunner.h"
#include "probe/rundosinmemo.h"

namespace quorvel {
namespace {

// The fake ping first on PATH in `mode`, recording the ids of its runs.
class HangingPing : public testing::Test {
 protected:
  void SetUp() override {
    const char* path = std::getenv("PATH");
    savedPath_ = path ? path : "";
    setenv("PATH", (std::string(QUORVEL_FAKE_PING_DIR) + ":" + savedPath_).c_str(), 1);
    setenv("FAKE_PING_MODE", "hang", 1);
    std::filesystem::create_directories(QUORVEL_TEST_TMP);
    pidFile_ = std::string(QUORVEL_TEST_TMP) + "/probecancel-" + std::to_string(::getpid());
    std::remove(pidFile_.c_str());
    setenv("FAKE_PING_PIDFILE", pidFile_.c_str(), 1);
  }
  void TearDown() override {
    setenv("PATH", savedPath_.c_str(), 1);
    unsetenv("FAKE_PING_MODE");
    unsetenv("FAKE_PING_PIDFILE");
    std::remove(pidFile_.c_str());
  }
  // The ids the fake ping wrote, 0 when it never ran.
  long ChildPid() const {
    std::ifstream in(pidFile_);
    long pid = 0;
    in >> pid;
    return pid;
  }

  std::string savedPath_;
  std::string pidFile_;
};

using SteadyClock = std::chrono::steady_clock;

TEST_F(HangingPing, StopKillsTheChildAtOnce) {
  ProcessOptions options;
  options.step = std::chrono::milliseconds(50);
  options.killAfter = std::chrono::seconds(30);
  int steps = 0;
  options.onStep = [&] { ++steps; };
  options.shouldStop = [&] { return steps >= 3; };  // the third pump brings the stop
  const auto started = SteadyClock::now();
  const ProcessResult r = RunProcess({"ping", "--", "127.0.0.1"}, options);
  const auto took = SteadyClock::now() - started;

  EXPECT_TRUE(r.started);
  EXPECT_TRUE(r.cancelled);
  EXPECT_FALSE(r.killed);  // not the time bound
  EXPECT_EQ(r.exitCode, -1);
  EXPECT_EQ(steps, 3);
  EXPECT_LT(took, std::chrono::seconds(5));  // a bound, far below the 30 s one
  const long pid = ChildPid();
  ASSERT_GT(pid, 0);
  EXPECT_NE(::kill(static_cast<pid_t>(pid), 0), 0) << "the hanging child is still there";
}

TEST_F(HangingPing, StopBeforeTheStartRunsNothing) {
  ProcessOptions options;
  options.shouldStop = [] { return true; };
  const ProcessResult r = RunProcess({"ping", "--", "127.0.0.1"}, options);
  EXPECT_FALSE(r.started);
  EXPECT_TRUE(r.cancelled);
  EXPECT_EQ(ChildPid(), 0);
}

TEST_F(HangingPing, CancelledProbeLeavesTheResponseAsItWas) {
  std::string response = "before";
  int pumps = 0;
  const bool finished = RunDosInMemo(
      "ping 127.0.0.1 -w 800 -n 1", response, [&] { ++pumps; }, [&] { return pumps >= 1; });
  EXPECT_FALSE(finished);
  EXPECT_EQ(response, "before");
  EXPECT_NE(::kill(static_cast<pid_t>(ChildPid()), 0), 0);
}

TEST(ProbeCancel, AProbeThatIsNeverStoppedRunsToItsEnd) {
  const char* path = std::getenv("PATH");
  const std::string saved = path ? path : "";
  setenv("PATH", (std::string(QUORVEL_FAKE_PING_DIR) + ":" + saved).c_str(), 1);
  std::string response;
  const bool finished =
      RunDosInMemo("ping 127.0.0.1 -w 800 -n 1", response, nullptr, [] { return false; });
  setenv("PATH", saved.c_str(), 1);
  EXPECT_TRUE(finished);
  EXPECT_NE(response.find("time=12.345ms"), std::string::npos) << response;
}

}  // namespace
}  // namespace quorvel
