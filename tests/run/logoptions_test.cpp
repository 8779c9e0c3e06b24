#include "run/logoptions.h"

#include <optional>
#include <string>

#include <gtest/gtest.h>

namespace quorvel {
namespace {

TEST(ExtractDomainNameTest, ProposesTheFirstLabel) {
  const struct {
    const char* address;
    const char* name;
  } cases[] = {
      {"www.abc.def", "abc.txt"},
      {"WWW.Abc.def", "Abc.txt"},
      {"192.0.2.1", "192.txt"},
      {"localhost", ".txt"},
      {"mail.abc.def", "mail.txt"},
      {"ftp.www.abc.def", "www.txt"},  // contains "www.", so "ftp." goes
      {"wWw.alpha.example", "alpha.txt"},
      {"www.nodot", ".txt"},
      {"", ".txt"},
      {"10.0.0.1", "10.txt"},
      // Four characters, not four bytes: "éwww" goes, not "éww".
      {"\xC3\xA9www.x.y", ".txt"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ExtractDomainName(c.address), c.name) << c.address;
  }
}

TEST(LogNameOnExitTest, ReplacesTheExtensionOfTheNamePart) {
  const struct {
    const char* before;
    const char* after;
  } cases[] = {
      {"mylog", "mylog.txt"},
      {"a.log", "a.txt"},
      {"a.txt", "a.txt"},
      {"a.b.c", "a.b.txt"},
      {"/tmp/x.y/log", "/tmp/x.y/log.txt"},
      {"/tmp/x.y/log.csv", "/tmp/x.y/log.txt"},
      {"", ".txt"},
      {"a.", "a.txt"},
      {".hidden", ".txt"},
      {"/tmp/", "/tmp/.txt"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LogNameOnExit(c.before), c.after) << c.before;
  }
}

const LogModeChecks kNoLog{true, false, false};
const LogModeChecks kAllLog{false, true, false};
const LogModeChecks kOnlyLog{false, false, true};
const LogModeChecks kNone{false, false, false};

TEST(PlanLogModeClickTest, DecidesBetweenBrowseQuestionAndNothing) {
  const struct {
    const char* what;
    LogModeChecks checks;
    const char* fileName;
    bool showing;
    const char* selected;
    LogModeClickStep step;
    const char* proposed;
  } cases[] = {
      {"no log", kNoLog, "", true, "www.alpha.example", LogModeClickStep::kNothing, ""},
      {"none checked", kNone, "/t/a.txt", true, "www.alpha.example", LogModeClickStep::kNothing,
       ""},
      {"empty name, showing", kOnlyLog, "", true, "www.alpha.example",
       LogModeClickStep::kBrowse, ""},
      {"empty name, hidden", kAllLog, "", false, "www.alpha.example",
       LogModeClickStep::kAskChange, "alpha.txt"},
      {"other name", kAllLog, "/t/other.txt", true, "www.alpha.example",
       LogModeClickStep::kAskChange, "alpha.txt"},
      {"same name", kAllLog, "/t/alpha.txt", true, "www.alpha.example",
       LogModeClickStep::kNothing, ""},
      {"case differs", kOnlyLog, "/t/Alpha.txt", true, "www.alpha.example",
       LogModeClickStep::kAskChange, "alpha.txt"},
      {"no entry selected", kAllLog, "/t/other.txt", true, "", LogModeClickStep::kNothing, ""},
      {"entry without a dot", kAllLog, "/t/other.txt", true, "localhost",
       LogModeClickStep::kNothing, ""},
  };
  for (const auto& c : cases) {
    const LogModeClickPlan plan = PlanLogModeClick(c.checks, c.fileName, c.showing, c.selected);
    EXPECT_EQ(plan.step, c.step) << c.what;
    EXPECT_EQ(plan.proposedName, c.proposed) << c.what;
  }
}

TEST(CaptionTest, FollowsTheModeAndTheName) {
  const std::optional<std::string> plain = "Quorvel";
  const std::optional<std::string> logged = "Quorvel  [Log: a.txt]";
  const std::optional<std::string> unchanged;

  EXPECT_EQ(CaptionAfterLogModeClick(kAllLog, "/t/a.txt"), logged);
  EXPECT_EQ(CaptionAfterLogModeClick(kOnlyLog, "/t/a.txt"), logged);
  EXPECT_EQ(CaptionAfterLogModeClick(kAllLog, ""), plain);
  EXPECT_EQ(CaptionAfterLogModeClick(kNoLog, "/t/a.txt"), plain);
  EXPECT_EQ(CaptionAfterLogModeClick(kNone, "/t/a.txt"), unchanged);

  EXPECT_EQ(CaptionAfterLogNameChange(kAllLog, "/t/a.txt"), unchanged);
  EXPECT_EQ(CaptionAfterLogNameChange(kAllLog, ""), plain);
  EXPECT_EQ(CaptionAfterLogNameChange(kNoLog, "/t/a.txt"), plain);
}

TEST(LogBrowseTest, EmptyNameChecksNoLogAndPlainCaption) {
  const LogBrowseOutcome empty = AfterLogBrowse("");
  EXPECT_TRUE(empty.noLogChecked);
  EXPECT_EQ(empty.caption, std::optional<std::string>("Quorvel"));

  const LogBrowseOutcome chosen = AfterLogBrowse("/t/a.txt");
  EXPECT_FALSE(chosen.noLogChecked);
  EXPECT_EQ(chosen.caption, std::nullopt);
}

TEST(LogBrowseTest, StartsInTheLogDirectoryElseBesideTheProgram) {
  EXPECT_EQ(LogBrowseStartDirectory("/var/log/a.txt", "/opt/q"), "/var/log");
  EXPECT_EQ(LogBrowseStartDirectory("/a.txt", "/opt/q"), "/");
  EXPECT_EQ(LogBrowseStartDirectory("a.txt", "/opt/q"), "/opt/q");
  EXPECT_EQ(LogBrowseStartDirectory("", "/opt/q"), "/opt/q");
}

}  // namespace
}  // namespace quorvel
