#include "alert/alertrule.h"

#include <gtest/gtest.h>

#include <string>

namespace quorvel {
namespace {

// Every kind and pattern entry, written loosely, reads as its canonical text,
// and that text reads back as the same rule.
TEST(AlertRuleText, CanonicalFormReadsBackAsTheSameRule) {
  const struct {
    const char* text;
    const char* canonical;
  } cases[] = {
      {"lost>=3", "lost>=3"},
      {" lost >= 3  clear = 2 ", "lost>=3 clear=2"},
      {"lost>=3 clear=1", "lost>=3"},
      {"loss >= 2.50% / 020", "loss>=2.5%/20"},
      {"loss>=100%/10000", "loss>=100%/10000"},
      {"avg>=150ms/20", "avg>=150ms/20"},
      {"median>=0.5 ms/5", "median>=0.5ms/5"},
      {"p95>=200.125ms/50 clear=50", "p95>=200.125ms/50 clear=50"},
      {"pattern:>0%,*12*,>0%,*12*,>0%", "pattern:>0%,*12*,>0%,*12*,>0%"},
      {"pattern: ==S , ==U", "pattern:==S,==U"},
      {"pattern:<10,<10ms,>=100.5,<=0.001", "pattern:<10,<10,>=100.5,<=0.001"},
      {"pattern:>*,!=U,==0%,!=100%,<50%", "pattern:==*,!=U,==0%,!=100%,<50%"},
      {"pattern:>0%,*1*", "pattern:>0%,*1*"},
  };
  for (const auto& c : cases) {
    const ParsedAlertRule parsed = ParseAlertRule(c.text);
    ASSERT_EQ(parsed.status, ParsedAlertRule::Status::Ok) << c.text << ": " << parsed.error;
    EXPECT_EQ(AlertRuleText(parsed.rule), c.canonical) << c.text;
    const ParsedAlertRule again = ParseAlertRule(AlertRuleText(parsed.rule));
    EXPECT_TRUE(again.rule == parsed.rule) << c.text;
  }
  // The numbers land in their units.
  const AlertRule loss = ParseAlertRule("loss>=2.5%/20").rule;
  EXPECT_EQ(loss.lossThousandths, 2500);
  EXPECT_EQ(loss.count, 20u);
  const AlertRule p95 = ParseAlertRule("p95>=200.125ms/50").rule;
  EXPECT_EQ(p95.threshold, std::chrono::microseconds(200'125));
  EXPECT_EQ(p95.statistic, LatencyStatistic::P95);
  EXPECT_EQ(AlertRuleSpan(ParseAlertRule("pattern:==S,>0%,*12*,>0%,*12*,>0%").rule), 27u);
}

// A bad rule is refused with a message that says where and what.
TEST(AlertRuleText, BadRulesAreRefusedWithTheReason) {
  std::string entries65 = "pattern:>0%";
  for (int i = 0; i < 64; ++i) entries65 += ",==*";
  const struct {
    std::string text;
    const char* message;
  } cases[] = {
      {"", "the rule is empty: write lost>=N, loss>=X%/M"},
      {"Lost>=3", "'Lost' at column 1 is no rule"},
      {">=3", "'>=' at column 1 starts no rule"},
      {"lost>3", "expected '>=' after 'lost', found '>' at column 5"},
      {"lost>=0", "N (0) at column 7 must be a whole number from 1 to 1000000"},
      {"lost>=2.5", "N (2.5) at column 7 must be a whole number"},
      {"lost>=", "expected N, a whole number from 1 to 1000000, found the end"},
      {"loss>=5/100", "expected '%' after the loss, found '/' at column 8"},
      {"loss>=0%/100", "X (0) at column 7 must be from 0.001% to 100%"},
      {"loss>=100.001%/100", "must be from 0.001% to 100%"},
      {"loss>=5%/10001", "M (10001) at column 10 must be a whole number from 1 to 10000"},
      {"avg>=150/20", "expected 'ms' after the time (write it in milliseconds, as 150ms), found '/'"},
      {"p95>=1.2345ms/5", "T at column 6 takes at most three decimals"},
      {"p95>=12345678901234ms/5", "T (12345678901234) at column 6 must be from 0.001 ms to 3600000 ms"},
      {"median>=10ms/1001", "must be a whole number from 1 to 1000"},
      {"pattern:", "expected a pattern entry (==0%, >0%, <10, >=100, ==U, !=U, ==*, *X*, or ==S first), found the end"},
      {"pattern:*3*,>0%", "a pattern cannot begin with *X*"},
      {"pattern:==S,*3*,>0%", "a pattern cannot begin with *X*"},
      {"pattern:>0%,*3*,*4*", "two *X* in a row: write them as one, *X+Y* (entry 3, column 17)"},
      {"pattern:>0%,==S", "==S can only be the first entry"},
      {"pattern:<U", "U (no reply) takes == or !=, not <"},
      {"pattern:!=S,>0%", "S (the start) takes ==, not !="},
      {"pattern:==S", "the pattern compares no probe"},
      {"pattern:>0%,*1024*", "the pattern spans more than 1024 probes"},
      {"pattern:>200%", "the loss (200) at column 10 must be from 0% to 100%"},
      {"pattern:>0%,*0*", "X of *X* (0) at column 14 must be a whole number from 1 to 1024"},
      {"pattern:>0%,*2", "expected '*' after the X of *X*, found the end"},
      {"pattern:>0%;>0%", "unexpected character ';' at column 12"},
      {"pattern:>x", "expected a number, *, U or S after >, found 'x' at column 10"},
      {entries65, "a pattern takes at most 64 entries"},
      {"lost>=3 clear=2 clear=3", "'clear' given twice (column 17)"},
      {"lost>=3 clear=0", "clear (0) at column 15 must be a whole number from 1"},
      {"lost>=3 loss>=5%/10", "'loss' at column 9 is not expected after the rule (the only option is clear=N)"},
      {"lost>=3\n", "unexpected character at column 8"},
      {std::string(1001, ' '), "the rule is longer than 1000 characters"},
  };
  for (const auto& c : cases) {
    const ParsedAlertRule parsed = ParseAlertRule(c.text);
    EXPECT_EQ(parsed.status, ParsedAlertRule::Status::Error) << c.text;
    EXPECT_NE(parsed.error.find(c.message), std::string::npos) << c.text << "\n  got: " << parsed.error;
  }
}

}  // namespace
}  // namespace quorvel
