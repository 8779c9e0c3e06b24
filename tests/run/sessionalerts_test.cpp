// The window's alert texts: which rules are read, the command's words, the
// caption mark, the log line and the JSON of the active alerts.
#include "run/sessionalerts.h"

#include <gtest/gtest.h>

namespace quorvel {
namespace {

TEST(SessionAlerts, OnlySwitchedOnRulesAreReadAndABadOneIsNamed) {
  const ReadAlertRules read =
      ReadSwitchedOnRules({{true, "lost>=3"}, {false, "nonsense"}, {true, "loss>=5"}, {true, "p95>=9ms/5"}});
  ASSERT_EQ(read.rules.size(), 2u);
  EXPECT_EQ(AlertRuleText(read.rules[1]), "p95>=9ms/5");
  ASSERT_EQ(read.errors.size(), 1u);
  EXPECT_EQ(read.errors[0].rfind("Alert rule \"loss>=5\" cannot be used: ", 0), 0u);
}

TEST(SessionAlerts, CommandWordsSplitAtBlanksOnly) {
  EXPECT_EQ(CommandWords("  /usr/bin/notify\t'a b'  \"$HOME\";x "),
            (std::vector<std::string>{"/usr/bin/notify", "'a", "b'", "\"$HOME\";x"}));
  EXPECT_TRUE(CommandWords(" \t ").empty());
}

TEST(SessionAlerts, CaptionMarkComesAndGoesOnce) {
  EXPECT_EQ(CaptionWithAlert("Quorvel  [Log: a.txt]", true), "[ALERT] Quorvel  [Log: a.txt]");
  EXPECT_EQ(CaptionWithAlert("[ALERT] Quorvel", true), "[ALERT] Quorvel");
  EXPECT_EQ(CaptionWithAlert("[ALERT] Quorvel", false), "Quorvel");
}

TEST(SessionAlerts, LogLineAndJsonCarryTheEvent) {
  AlertEvent event;
  event.type = AlertEvent::Type::Cleared;
  event.unixMs = 1'796'648'709'000;  // 2026-12-07 13:05:09 UTC
  event.utcOffsetSeconds = 3600;
  event.target = "127.0.0.1";
  event.rule = "lost>=3";
  event.figures = {"0", "0 lost in a row"};
  EXPECT_EQ(AlertLogLine(event),
            "2026-12-07T14:05:09.000+01:00 alert cleared: 127.0.0.1 lost>=3: 0 lost in a row\n");
  ActiveAlert active{"lost>=3", 0, event.unixMs, {"3", "3 \"lost\""}};
  EXPECT_EQ(WithAlerts("{\"address\":\"x\"}\n", ActiveAlertsJson({active}, 3600)),
            "{\"address\":\"x\",\"alerts\":[{\"rule\":\"lost>=3\",\"since\":\"2026-12-07T14:05:09.000+01:00\","
            "\"since_unix_ms\":1796648709000,\"value\":\"3\",\"description\":\"3 \\\"lost\\\"\"}]}\n");
}

}  // namespace
}  // namespace quorvel
