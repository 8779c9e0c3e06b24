#include "alert/alertcommand.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

namespace quorvel {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class AlertCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    folder_ = fs::path(QUORVEL_TEST_TMP) / ("alert-" + std::string(info->name()) + "-" + std::to_string(::getpid()));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }

  std::string In(const std::string& name) const { return (folder_ / name).string(); }
  std::string Script(const std::string& body) const {
    const std::string path = In("command");
    std::ofstream(path) << "#!/bin/sh\n" << body;
    ::chmod(path.c_str(), 0755);
    return path;
  }
  static std::string Text(const std::string& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  // Runs `events` through a command and returns the failures it reported.
  std::vector<std::string> Run(AlertCommandOptions options, const std::vector<AlertEvent>& events) {
    std::vector<std::string> failures;
    std::mutex mutex;
    AlertCommand command(std::move(options), [&](const std::string& m) {
      std::lock_guard lock(mutex);
      failures.push_back(m);
    });
    for (const AlertEvent& e : events) command.Submit(e);
    command.Drain();
    return failures;
  }

  fs::path folder_;
};

AlertEvent Event(AlertEvent::Type type, std::string target = "192.0.2.1") {
  AlertEvent e;
  e.type = type;
  e.unixMs = 1'733'666'709'123;
  e.utcOffsetSeconds = 3600;
  e.target = std::move(target);
  e.rule = "lost>=3";
  e.figures = {"3", "3 lost in a row"};
  return e;
}

// The event reaches the command in its environment only: the fixed
// arguments stay as configured and a target full of shell syntax is text.
TEST_F(AlertCommandTest, EventGoesToTheEnvironmentWithoutAShell) {
  const std::string program = Script(
      "printf '%s|' \"$@\" \"$QUORVEL_ALERT_STATE\" \"$QUORVEL_ALERT_TARGET\" \"$QUORVEL_ALERT_RULE\" "
      "\"$QUORVEL_ALERT_VALUE\" \"$QUORVEL_ALERT_DESCRIPTION\" \"$QUORVEL_ALERT_TIME\" "
      "\"$QUORVEL_ALERT_UNIX_MS\" >> \"$OUT\"\necho >> \"$OUT\"\n");
  ::setenv("OUT", In("out").c_str(), 1);
  const std::string hostile = "$(touch " + In("pwned") + "); `touch " + In("pwned") + "`";
  const std::vector<std::string> failures =
      Run({program, {"--to", "a b"}, 10s, 64},
          {Event(AlertEvent::Type::Raised, hostile), Event(AlertEvent::Type::Cleared)});
  ::unsetenv("OUT");
  EXPECT_TRUE(failures.empty());
  EXPECT_EQ(Text(In("out")),
            "--to|a b|raised|" + hostile +
                "|lost>=3|3|3 lost in a row|2024-12-08T15:05:09.123+01:00|1733666709123|\n"
                "--to|a b|cleared|192.0.2.1|lost>=3|3|3 lost in a row|2024-12-08T15:05:09.123+01:00|"
                "1733666709123|\n");
  EXPECT_FALSE(fs::exists(In("pwned")));
}

// Each kind of failure is reported once, however many events fail; a run
// that succeeds makes the next failure worth a report again.
TEST_F(AlertCommandTest, FailuresAreReportedOnce) {
  const AlertEvent raised = Event(AlertEvent::Type::Raised);
  const AlertEvent cleared = Event(AlertEvent::Type::Cleared);
  EXPECT_EQ(Run({In("missing"), {}, 10s, 64}, {raised, raised}),
            std::vector<std::string>{"alert command " + In("missing") + " could not be run: No such file or directory"});

  const std::string failing = Script(
      "if [ \"$QUORVEL_ALERT_STATE\" = raised ]; then echo 'no mail server' >&2; exit 3; fi\n");
  const std::string failed = "alert command " + failing + " failed with status 3: no mail server";
  EXPECT_EQ(Run({failing, {}, 10s, 64}, {raised, raised, cleared, raised}),
            (std::vector<std::string>{failed, failed}));

  const std::string hanging = Script("exec sleep 30\n");
  EXPECT_EQ(Run({hanging, {}, 200ms, 64}, {raised, raised}),
            std::vector<std::string>{"alert command " + hanging + " did not end within 200 ms and was killed"});
}

}  // namespace
}  // namespace quorvel
