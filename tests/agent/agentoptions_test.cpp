#include "agent/agentoptions.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace quorvel {
namespace {

using Words = std::vector<std::string>;

// One line of the good-lines table, and what it must give.
struct Good {
  Words words;
  std::int64_t intervalMs;
  std::optional<std::uint64_t> count;
  int timeoutMs;
  std::optional<std::string> csv;
  std::optional<std::string> json;
  std::optional<std::string> listenAddress;
  int listenPort;
  bool quiet;
  Words targets;
};

std::string Joined(const Words& words) {
  std::ostringstream out;
  for (const std::string& w : words) out << '[' << w << ']';
  return out.str();
}

TEST(AgentArguments, GoodLines) {
  const std::nullopt_t none = std::nullopt;
  const Good cases[] = {
      {{"127.0.0.1"}, 1000, none, 800, none, none, none, 0, false, {"127.0.0.1"}},
      {{"127.0.0.1", "::1"}, 1000, none, 800, none, none, none, 0, false, {"127.0.0.1", "::1"}},
      {{"--count", "3", "a", "b"}, 1000, 3, 800, none, none, none, 0, false, {"a", "b"}},
      {{"--interval", "0.2", "a"}, 200, none, 100, none, none, none, 0, false, {"a"}},
      {{"--interval=0.25", "a"}, 250, none, 125, none, none, none, 0, false, {"a"}},
      {{"--interval", ".5", "a"}, 500, none, 300, none, none, none, 0, false, {"a"}},
      {{"--interval", "2.", "a"}, 2000, none, 1800, none, none, none, 0, false, {"a"}},
      {{"--interval", "1.5000", "a"}, 1500, none, 1300, none, none, none, 0, false, {"a"}},
      {{"--interval", "10", "a"}, 10000, none, 3000, none, none, none, 0, false, {"a"}},
      {{"--interval", "86400", "a"}, 86'400'000, none, 3000, none, none, none, 0, false, {"a"}},
      {{"--interval", "10", "--timeout", "50", "a"}, 10000, none, 50, none, none, none, 0, false, {"a"}},
      {{"--timeout=60000", "a"}, 1000, none, 60000, none, none, none, 0, false, {"a"}},
      {{"--csv", "-", "--json", "out.jsonl", "a"}, 1000, none, 800, "-", "out.jsonl", none, 0, false, {"a"}},
      {{"--csv=rows.csv", "a"}, 1000, none, 800, "rows.csv", none, none, 0, false, {"a"}},
      {{"--listen", "127.0.0.1:9190", "a"}, 1000, none, 800, none, none, "127.0.0.1", 9190, false, {"a"}},
      {{"--listen", "[::1]:1", "a"}, 1000, none, 800, none, none, "::1", 1, false, {"a"}},
      {{"--listen=0.0.0.0:65535", "a"}, 1000, none, 800, none, none, "0.0.0.0", 65535, false, {"a"}},
      {{"--quiet", "a"}, 1000, none, 800, none, none, none, 0, true, {"a"}},
      // Options after and among the targets.
      {{"a", "--count", "2", "b", "--quiet"}, 1000, 2, 800, none, none, none, 0, true, {"a", "b"}},
      // After "--" every word is a target, also one that looks like an option.
      {{"--count", "1", "--", "-weird", "--quiet"}, 1000, 1, 800, none, none, none, 0, false, {"-weird", "--quiet"}},
      {{"--", "a"}, 1000, none, 800, none, none, none, 0, false, {"a"}},
      {{"--count", "1000000000", "a"}, 1000, 1'000'000'000, 800, none, none, none, 0, false, {"a"}},
      {{"h\xc3\xa9llo.example"}, 1000, none, 800, none, none, none, 0, false, {"h\xc3\xa9llo.example"}},
      {{"we\"ird\\name"}, 1000, none, 800, none, none, none, 0, false, {"we\"ird\\name"}},
      // Short options as ping's and fping's, alone, joined or grouped, and
      // long ones abbreviated.
      {{"-c", "3", "-i", "0.5", "-t", "100", "-q", "a"}, 500, 3, 100, none, none, none, 0, true, {"a"}},
      {{"-c3", "a", "-i0.2"}, 200, 3, 100, none, none, none, 0, false, {"a"}},
      {{"-qc", "2", "a"}, 1000, 2, 800, none, none, none, 0, true, {"a"}},
      {{"--int", "2", "--time=5", "a"}, 2000, none, 5, none, none, none, 0, false, {"a"}},
      // ":PORT" is every IPv4 address, "localhost:PORT" the loopback one.
      {{"--listen", ":9192", "a"}, 1000, none, 800, none, none, "0.0.0.0", 9192, false, {"a"}},
      {{"--listen", "localhost:9192", "a"}, 1000, none, 800, none, none, "127.0.0.1", 9192, false, {"a"}},
  };
  for (const Good& c : cases) {
    SCOPED_TRACE(Joined(c.words));
    const ParsedArguments p = ParseAgentArguments(c.words);
    ASSERT_EQ(p.status, ParsedArguments::Status::Run) << p.error;
    const AgentOptions& o = p.options;
    EXPECT_EQ(o.interval.count(), c.intervalMs);
    EXPECT_EQ(o.count, c.count);
    EXPECT_EQ(o.timeoutMs, c.timeoutMs);
    EXPECT_EQ(o.csvPath, c.csv);
    EXPECT_EQ(o.jsonPath, c.json);
    EXPECT_EQ(o.listen.has_value(), c.listenAddress.has_value());
    if (o.listen && c.listenAddress) {
      EXPECT_EQ(o.listen->address, *c.listenAddress);
      EXPECT_EQ(o.listen->port, c.listenPort);
    }
    EXPECT_EQ(o.quiet, c.quiet);
    EXPECT_EQ(o.targets, c.targets);
  }
}

TEST(AgentArguments, BadLinesSayWhatIsWrong) {
  const struct {
    Words words;
    std::string message;
  } cases[] = {
      {{}, "no target given"},
      {{"--quiet"}, "no target given"},
      {{"--count", "3", "--"}, "no target given"},
      {{"--bogus", "a"}, "unknown option --bogus"},
      {{"--bogus=1", "a"}, "unknown option --bogus"},
      {{"-x", "a"}, "unknown option -x (a target that starts with \"-\" goes after \"--\")"},
      {{"a", "-b"}, "unknown option -b (a target that starts with \"-\" goes after \"--\")"},
      {{"-", "a"}, "unknown option - (a target that starts with \"-\" goes after \"--\")"},
      {{"a", "--interval"}, "--interval needs a value"},
      {{"a", "--count"}, "--count needs a value"},
      {{"a", "--listen"}, "--listen needs a value"},
      {{"--interval", "abc", "a"}, "--interval: \"abc\" is not a number of seconds"},
      {{"--interval", "", "a"}, "--interval: \"\" is not a number of seconds"},
      {{"--interval", ".", "a"}, "--interval: \".\" is not a number of seconds"},
      {{"--interval", "-1", "a"}, "--interval: \"-1\" is not a number of seconds"},
      {{"--interval", "1e3", "a"}, "--interval: \"1e3\" is not a number of seconds"},
      {{"--interval", "1,5", "a"}, "--interval: \"1,5\" is not a number of seconds"},
      {{"--interval", "0x10", "a"}, "--interval: \"0x10\" is not a number of seconds"},
      {{"--interval", " 1", "a"}, "--interval: \" 1\" is not a number of seconds"},
      {{"--interval", "nan", "a"}, "--interval: \"nan\" is not a number of seconds"},
      {{"--interval", "0.1999", "a"}, "--interval: \"0.1999\" has more than three decimals"},
      {{"--interval", "0.199", "--engine", "ping", "a"}, "--interval: 0.199 s is below the shortest interval, 0.2 s"},
      {{"--interval", "0", "a"}, "--interval: 0 s is below the shortest interval, 0.01 s"},
      {{"--interval", "86400.001", "a"}, "--interval: 86400.001 s is above the longest interval, 86400 s"},
      {{"--interval", "99999999999999999999", "a"}, "--interval: \"99999999999999999999\" is not a number of seconds"},
      {{"--count", "0", "a"}, "--count: 0 is out of range (1 to 1000000000)"},
      {{"--count", "1000000001", "a"}, "--count: 1000000001 is out of range (1 to 1000000000)"},
      {{"--count", "99999999999999999999999", "a"}, "--count: 99999999999999999999999 is out of range (1 to 1000000000)"},
      {{"--count", "-3", "a"}, "--count: \"-3\" is not a whole number"},
      {{"--count", "2.5", "a"}, "--count: \"2.5\" is not a whole number"},
      {{"--timeout", "0", "a"}, "--timeout: 0 is out of range (1 to 60000 ms)"},
      {{"--timeout", "60001", "a"}, "--timeout: 60001 is out of range (1 to 60000 ms)"},
      {{"--timeout", "1s", "a"}, "--timeout: \"1s\" is not a whole number of milliseconds"},
      {{"--csv", "--quiet", "a"}, "--csv needs a file name, or - for standard output"},
      {{"--json=", "a"}, "--json needs a file name, or - for standard output"},
      {{"--csv", "-", "--json", "-", "a"}, "--csv and --json cannot both write to standard output"},
      {{"--csv", "x", "--json", "x", "a"}, "--csv and --json cannot write to the same file"},
      {{"--listen", "9190", "a"}, "--listen: \"9190\" is not [ADDRESS]:PORT (an IPv4 address, an IPv6 address in brackets, or localhost)"},
      {{"--listen", "example.org:9190", "a"}, "--listen: \"example.org:9190\" is not [ADDRESS]:PORT (an IPv4 address, an IPv6 address in brackets, or localhost)"},
      {{"--listen", "::1:9190", "a"}, "--listen: \"::1:9190\" is not [ADDRESS]:PORT (an IPv4 address, an IPv6 address in brackets, or localhost)"},
      {{"--listen", "[::1]9190", "a"}, "--listen: \"[::1]9190\" is not [ADDRESS]:PORT (an IPv4 address, an IPv6 address in brackets, or localhost)"},
      {{"--listen", "[127.0.0.1]:9190", "a"}, "--listen: \"[127.0.0.1]:9190\" is not [ADDRESS]:PORT (an IPv4 address, an IPv6 address in brackets, or localhost)"},
      {{"--listen", "localhost:", "a"}, "--listen: the port of \"localhost:\" must be from 1 to 65535"},
      {{"--listen", ":0", "a"}, "--listen: the port of \":0\" must be from 1 to 65535"},
      {{"--listen", "127.0.0.1:0", "a"}, "--listen: the port of \"127.0.0.1:0\" must be from 1 to 65535"},
      {{"--listen", "127.0.0.1:65536", "a"}, "--listen: the port of \"127.0.0.1:65536\" must be from 1 to 65535"},
      {{"--listen", "127.0.0.1:", "a"}, "--listen: the port of \"127.0.0.1:\" must be from 1 to 65535"},
      {{"--quiet=yes", "a"}, "--quiet takes no value"},
      {{"--c", "3", "a"}, "ambiguous option --c (--count, --csv)"},
      {{"-bad", "a"}, "unknown option -bad (a target that starts with \"-\" goes after \"--\")"},
      {{"a", "-c"}, "-c needs a value"},
      {{"-c", "2", "--count=3", "a"}, "--count is given twice"},
      {{"-4", "-6", "a"}, "-4 and -6 cannot both be given"},
      {{"-i", "0.1", "--engine", "ping", "a"}, "--interval: 0.1 s is below the shortest interval, 0.2 s"},
      {{"-i", "0.009", "a"}, "--interval: 0.009 s is below the shortest interval, 0.01 s"},
      {{"--engine", "raw", "a"}, "--engine: \"raw\" is not auto, icmp or ping"},
      {{"--path", "--engine", "ping", "a"}, "--path needs the ICMP engine, not --engine ping"},
      {{"--names", "a"}, "--names goes with --path"},
      {{"--alert", "lost>=", "a"}, "--alert \"lost>=\": " + ParseAlertRule("lost>=").error},
      {{"--alert", "lost>=3", "--alert", "lost >= 3", "a"}, "--alert \"lost>=3\" is given twice"},
      {{"--on-alert", "", "a"}, "--on-alert needs a program"},
      {{"--on-alert", "x", "--on-alert", "y", "a"}, "--on-alert is given twice"},
      {{"--count", "1", "--count", "2", "a"}, "--count is given twice"},
      {{"--quiet", "a", "--quiet"}, "--quiet is given twice"},
      {{"a", "b", "a"}, "the target \"a\" is given twice"},
      {{"--", ""}, "an empty target"},
      {{"a b"}, "the target \"a b\" holds a blank or a control character"},
      {{"a\nb"}, "the target \"a\nb\" holds a blank or a control character"},
      {{"--", "-a\tb"}, "the target \"-a\tb\" holds a blank or a control character"},
      {{std::string(1025, 'a')}, "a target longer than 1024 characters"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Joined(c.words));
    const ParsedArguments p = ParseAgentArguments(c.words);
    EXPECT_EQ(p.status, ParsedArguments::Status::Error);
    EXPECT_EQ(p.error, c.message);
  }
}

TEST(AgentArguments, TargetCountIsBounded) {
  Words words;
  for (std::size_t i = 0; i < kMaxTargets; ++i) words.push_back("t" + std::to_string(i));
  EXPECT_EQ(ParseAgentArguments(words).status, ParsedArguments::Status::Run);
  words.push_back("one-too-many");
  const ParsedArguments p = ParseAgentArguments(words);
  EXPECT_EQ(p.status, ParsedArguments::Status::Error);
  EXPECT_EQ(p.error, "more than 10000 targets");
  words.resize(kMaxChildTargets + 1);
  words.push_back("--engine=ping");
  EXPECT_EQ(ParseAgentArguments(words).error, "more than 1000 targets for --engine ping");
}

TEST(AgentArguments, HelpAndVersionWinOverMissingTargets) {
  for (const Words& words : {Words{"--help"}, Words{"-h"}, Words{"--count", "2", "--help"}}) {
    EXPECT_EQ(ParseAgentArguments(words).status, ParsedArguments::Status::Help) << Joined(words);
  }
  for (const Words& words : {Words{"--version"}, Words{"-V"}, Words{"-q", "--vers"}}) {
    EXPECT_EQ(ParseAgentArguments(words).status, ParsedArguments::Status::Version) << Joined(words);
  }
  EXPECT_EQ(AgentVersion(), "quorvel-agent 1.2\n");
  EXPECT_EQ(AgentHelp().rfind(AgentUsage(), 0), 0u);
  EXPECT_NE(AgentUsage().find("TARGET..."), std::string::npos);
}

// --alert may be given again and again, in the rule syntax of the window.
TEST(AgentArguments, AlertRulesAndTheirCommand) {
  const ParsedArguments p =
      ParseAgentArguments({"--alert", "lost>=3", "a", "--alert=loss >= 5% / 100 clear=10", "--on-alert", "notify"});
  ASSERT_EQ(p.status, ParsedArguments::Status::Run) << p.error;
  ASSERT_EQ(p.options.alerts.size(), 2u);
  EXPECT_EQ(AlertRuleText(p.options.alerts[1]), "loss>=5%/100 clear=10");
  EXPECT_EQ(p.options.onAlert, "notify");
  EXPECT_FALSE(ParseAgentArguments({"a"}).options.onAlert);
}

TEST(AgentArguments, AddressFamily) {
  EXPECT_EQ(ParseAgentArguments({"a"}).options.family, 0);
  EXPECT_EQ(ParseAgentArguments({"-4", "a"}).options.family, 4);
  EXPECT_EQ(ParseAgentArguments({"a", "-6"}).options.family, 6);
}

TEST(AgentArguments, DefaultTimeoutFollowsTheInterval) {
  const struct {
    std::int64_t intervalMs;
    int timeoutMs;
  } cases[] = {{200, 100}, {300, 150}, {400, 200}, {500, 300}, {1000, 800},
               {2000, 1800}, {3000, 2800}, {3200, 3000}, {86'400'000, 3000}};
  for (const auto& c : cases) {
    EXPECT_EQ(DefaultTimeoutMs(std::chrono::milliseconds(c.intervalMs)), c.timeoutMs) << c.intervalMs;
  }
}

}  // namespace
}  // namespace quorvel
