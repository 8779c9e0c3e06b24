#include "probe/processrunner.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "probe/pingchild.h"
#include "probe/pingprobe.h"
#include "probe/rundosinmemo.h"

namespace quorvel {
namespace {

// Puts the fake ping first on PATH for the life of the object.
class FakePingOnPath {
 public:
  explicit FakePingOnPath(const char* mode) {
    const char* path = std::getenv("PATH");
    saved_ = path ? path : "";
    setenv("PATH", (std::string(QUORVEL_FAKE_PING_DIR) + ":" + saved_).c_str(), 1);
    setenv("FAKE_PING_MODE", mode, 1);
  }
  ~FakePingOnPath() {
    setenv("PATH", saved_.c_str(), 1);
    unsetenv("FAKE_PING_MODE");
  }

 private:
  std::string saved_;
};

std::string Probe(const std::string& address) {
  std::string response;
  int steps = 0;
  RunDosInMemo(BuildPingCommandLine(address, 800), response, [&] { ++steps; });
  return response;
}

TEST(RunDosInMemo, ReplyFromTheFakePing) {
  FakePingOnPath fake("reply");
  const std::string text = Probe("127.0.0.1");
  EXPECT_EQ(ParseReplyLine(ReplyLine(text), 800).value, 12);
}

TEST(RunDosInMemo, AppendsToWhatIsThere) {
  FakePingOnPath fake("lost");
  std::string response = "kept\n";
  RunDosInMemo("ping 127.0.0.1 -w 800 -n 1", response, nullptr);
  EXPECT_EQ(response.rfind("kept\n", 0), 0u);
  EXPECT_NE(response.find("Request timed out."), std::string::npos);
}

TEST(RunDosInMemo, UnknownHost) {
  FakePingOnPath fake("unknown");
  EXPECT_TRUE(ContainsHostNotFound(Probe("nohost.invalid")));
}

TEST(RunDosInMemo, SilentPingLeavesTheResponseEmpty) {
  FakePingOnPath fake("silent");
  EXPECT_EQ(Probe("127.0.0.1"), "");
}

TEST(RunDosInMemo, HugeOutputDoesNotStallAndIsBounded) {
  FakePingOnPath fake("huge");
  const std::string text = Probe("127.0.0.1");
  EXPECT_EQ(ParseReplyLine(ReplyLine(text), 800).value, 12);
  EXPECT_LT(text.size(), 200u * 1024);
}

TEST(RunDosInMemo, MissingPingLeavesTheResponseEmpty) {
  const char* path = std::getenv("PATH");
  const std::string saved = path ? path : "";
  setenv("PATH", "/nonexistent-quorvel-dir", 1);
  std::string response;
  RunDosInMemo("ping 127.0.0.1 -w 800 -n 1", response, nullptr);
  setenv("PATH", saved.c_str(), 1);
  EXPECT_EQ(response, "");
}

TEST(RunDosInMemo, AddressNeverBecomesAnOption) {
  FakePingOnPath fake("reply");
  const std::string log = std::string(QUORVEL_TEST_TMP) + "/fake-ping-args.txt";
  std::system(("mkdir -p '" + std::string(QUORVEL_TEST_TMP) + "' && rm -f '" + log + "'").c_str());
  setenv("FAKE_PING_ARGS", log.c_str(), 1);
  Probe("-f");
  Probe(" 8.8.8.8 -t ");
  unsetenv("FAKE_PING_ARGS");
  std::FILE* f = std::fopen(log.c_str(), "r");
  ASSERT_NE(f, nullptr);
  std::string all;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, f)) all += buffer;
  std::fclose(f);
  EXPECT_EQ(all,
            "-n\n-c\n1\n-W\n0.800\n--\n-f\n--end--\n"
            "-n\n-c\n1\n-W\n0.800\n--\n8.8.8.8 -t\n--end--\n");
}

TEST(RunProcess, HungChildIsKilledAtTheBoundWhileEventsAreHandled) {
  FakePingOnPath fake("hang");
  ProcessOptions options;
  options.killAfter = std::chrono::milliseconds(300);
  int steps = 0;
  options.onStep = [&] { ++steps; };
  const auto started = std::chrono::steady_clock::now();
  const ProcessResult r = RunProcess({"ping", "--", "127.0.0.1"}, options);
  const auto took = std::chrono::steady_clock::now() - started;
  EXPECT_TRUE(r.started);
  EXPECT_TRUE(r.killed);
  EXPECT_GE(steps, 2);
  EXPECT_LT(took, std::chrono::seconds(5));  // a bound, not a speed measurement
}

TEST(RunProcess, ReportsExitCodeAndBothStreams) {
  const ProcessResult r = RunProcess({"sh", "-c", "echo out; echo err >&2; exit 3"}, {});
  EXPECT_TRUE(r.started);
  EXPECT_EQ(r.exitCode, 3);
  EXPECT_EQ(r.standardOutput, "out\n");
  EXPECT_EQ(r.standardError, "err\n");
}

TEST(RunProcess, ChildSeesTheExtraEnvironment) {
  ProcessOptions options;
  options.extraEnvironment = {"LC_ALL=C", "QUORVEL_PROBE_TEST=yes"};
  const ProcessResult r = RunProcess({"sh", "-c", "echo $LC_ALL $QUORVEL_PROBE_TEST"}, options);
  EXPECT_EQ(r.standardOutput, "C yes\n");
}

TEST(RunProcess, MissingProgramIsNotStarted) {
  const ProcessResult r = RunProcess({"quorvel-no-such-program"}, {});
  EXPECT_FALSE(r.started);
  EXPECT_FALSE(r.error.empty());
}

// The typed result of one ping child, for every way a probe can end.
TEST(PingChild, EachOutcomeIsTyped) {
  using O = ProbeResult::Outcome;
  const struct {
    const char* mode;
    O outcome;
    std::int64_t nanos;
  } cases[] = {{"reply", O::Reply, 12'345'000}, {"lost", O::Lost, 0}, {"unknown", O::UnknownHost, 0},
               {"silent", O::Lost, 0}};
  for (const auto& c : cases) {
    FakePingOnPath fake(c.mode);
    const ProbeResult r = PingChild({"127.0.0.1", 800});
    EXPECT_EQ(r.outcome, c.outcome) << c.mode;
    EXPECT_EQ(r.rttNanos, c.nanos) << c.mode;
  }
  // No ping program at all: the probe could not be made, and says why.
  const char* path = std::getenv("PATH");
  const std::string saved = path ? path : "";
  setenv("PATH", "/nonexistent", 1);
  const ProbeResult none = PingChild({"127.0.0.1", 800});
  setenv("PATH", saved.c_str(), 1);
  EXPECT_EQ(none.outcome, ProbeResult::Outcome::Failed);
  EXPECT_FALSE(none.reason.empty());
}

// The real ping, against loopback only.
TEST(RunDosInMemo, RealPingOfLoopback) {
  std::string response;
  RunDosInMemo("ping 127.0.0.1 -w 800 -n 1", response, nullptr);
  if (response.empty()) GTEST_SKIP() << "no ping program on this machine";
  const PingReply s = ParseReplyLine(ReplyLine(response), 800);
  EXPECT_FALSE(s.Lost()) << response;
  EXPECT_LT(s.value, 800);
}

}  // namespace
}  // namespace quorvel
