// The built quorvel-agent run as a user runs it, with the fake ping first on
// PATH (it never sends a packet; its answer is chosen per host).

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "agent/childprogram.h"
#include "common/fulldisk.h"
#include "common/loopback.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::vector<std::string> Split(const std::string& text, const std::string& separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find(separator, start);
    if (end == std::string::npos) {
      if (start < text.size()) parts.push_back(text.substr(start));
      return parts;
    }
    parts.push_back(text.substr(start, end - start));
    start = end + separator.size();
  }
}

struct CsvRow {
  std::string target;
  long long unixMs = 0;
  std::string replyMs;
  std::string lost;
  std::string plotted;
};

// Rows of the agent's CSV (the targets of these tests need no quoting).
std::vector<CsvRow> CsvRows(const std::string& text, std::string& header) {
  std::vector<CsvRow> rows;
  const std::vector<std::string> lines = Split(text, "\r\n");
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i == 0) {
      header = lines[0];
      continue;
    }
    const std::vector<std::string> f = Split(lines[i] + ",", ",");
    EXPECT_EQ(f.size(), 6u) << lines[i];
    if (f.size() != 6) continue;
    rows.push_back({f[0], std::stoll(f[2]), f[3], f[4], f[5]});
  }
  return rows;
}

// A report line less its " missed=N": a busy machine may make any target
// miss a slot, and the line says so.
std::string WithoutMissed(const std::string& line) {
  const std::size_t at = line.find(" missed=");
  if (at == std::string::npos) return line;
  const std::size_t end = line.find(' ', at + 1);
  return line.substr(0, at) + (end == std::string::npos ? "" : line.substr(end));
}

// The report's line per target, without its last line, which names the
// engine: the ping child in every run of these tests.
std::vector<std::string> ReportLines(const std::string& output) {
  std::vector<std::string> lines = Split(output, "\n");
  EXPECT_FALSE(lines.empty());
  if (lines.empty()) return lines;
  EXPECT_EQ(lines.back(), "engine: ping (a ping child per probe)");
  lines.pop_back();
  return lines;
}

bool Alive(pid_t pid) { return ::kill(pid, 0) == 0 || errno != ESRCH; }

// Running, as opposed to gone or a zombie nobody has reaped yet.
bool Running(pid_t pid) {
  const std::string stat = FileText("/proc/" + std::to_string(pid) + "/stat");
  const std::size_t state = stat.rfind(") ");
  return state != std::string::npos && stat[state + 2] != 'Z' && stat[state + 2] != 'X';
}

std::vector<pid_t> Pids(const std::string& path) {
  std::vector<pid_t> pids;
  std::istringstream in(FileText(path));
  for (pid_t p; in >> p;) pids.push_back(p);
  return pids;
}

class AgentProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    folder_ = fs::path(QUORVEL_TEST_TMP) / ("agent-" + std::string(info->name()) + "-" + std::to_string(::getpid()));
    fs::remove_all(folder_);
    fs::create_directories(folder_ / "hosts");
  }
  void TearDown() override { fs::remove_all(folder_); }

  std::string In(const std::string& name) const { return (folder_ / name).string(); }
  void Host(const std::string& host, const std::string& script) const {
    std::ofstream(folder_ / "hosts" / host) << script;
  }
  std::vector<std::string> Environment() const {
    return {FakePingPath(), "FAKE_PING_HOSTS=" + In("hosts"), "FAKE_PING_ARGS=" + In("args"),
            "FAKE_PING_PIDS=" + In("pids"), "FAKE_PING_MODE=reply", "FAKE_PING_TIME=12.345"};
  }
  // The fake ping stands in for ping: these runs take the ping child.
  std::unique_ptr<ChildProgram> Start(std::vector<std::string> arguments, bool ownGroup = false) const {
    arguments.insert(arguments.begin(), {QUORVEL_AGENT, "--engine", "ping"});
    auto child = std::make_unique<ChildProgram>(arguments, Environment(), folder_.string(),
                                                "/dev/null", ownGroup);
    EXPECT_TRUE(child->Started());
    return child;
  }
  // Waits until `done` holds, at most `bound`.
  static bool Eventually(const std::function<bool()>& done, std::chrono::milliseconds bound) {
    const auto end = std::chrono::steady_clock::now() + bound;
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) return false;
      std::this_thread::sleep_for(20ms);
    }
    return true;
  }

  fs::path folder_;
};

// Three targets at 0.5 s, five probes each: one answers, one never does, one
// hangs on its first probe. The hung probe is killed at the window's bound
// (ping's 450 ms wait plus 10 s) while the other two keep their interval;
// then it goes on at the interval.
TEST_F(AgentProgram, ThreeTargetsOneLostOneHungCountFive) {
  Host("good", "reply 1.250\n");
  Host("lost", "lost\n");
  Host("hung", "hang\nreply 2.500\n");
  auto agent = Start({"--count", "5", "--interval", "0.5", "--csv", In("rows.csv"), "--json",
                      In("rows.jsonl"), "good", "lost", "hung"});
  const ChildProgram::Ended ended = agent->Wait(60s);

  EXPECT_EQ(ended.status, 1);  // "lost" never answered
  EXPECT_EQ(ended.errors, "");
  // The hung probe, killed 10 s after its wait (the 300 ms timeout and its
  // slack of 150 ms), ran past about 20 slots, which are counted as missed.
  // (On a busy machine another target may miss a slot too: it says so.)
  const std::vector<std::string> report = ReportLines(ended.output);
  ASSERT_EQ(report.size(), 3u) << ended.output;
  EXPECT_EQ(WithoutMissed(report[0]), "good sent=5 received=5 loss=0.000% min=1.250 avg=1.250 p50=1.250 "
                                      "p95=1.250 p99=1.250 max=1.250 jitter=0.000");
  EXPECT_EQ(WithoutMissed(report[1]), "lost sent=5 received=0 loss=100.000% min=- avg=- p50=- p95=- p99=- "
                                      "max=- jitter=-");
  EXPECT_EQ(WithoutMissed(report[2]), "hung sent=5 received=4 loss=20.000% min=2.500 avg=2.500 p50=2.500 "
                                      "p95=2.500 p99=2.500 max=2.500 jitter=0.000");
  const std::size_t missedAt = report[2].find(" missed=");
  ASSERT_NE(missedAt, std::string::npos) << report[2];
  const int missed = std::stoi(report[2].substr(missedAt + 8));
  EXPECT_GE(missed, 20);
  EXPECT_LE(missed, 24);

  std::string header;
  const std::vector<CsvRow> rows = CsvRows(FileText(In("rows.csv")), header);
  EXPECT_EQ(header, "target,time,unix_ms,reply_ms,lost,plotted_ms");
  ASSERT_EQ(rows.size(), 15u);
  std::map<std::string, std::vector<std::size_t>> byTarget;  // row indexes in file order
  for (std::size_t i = 0; i < rows.size(); ++i) byTarget[rows[i].target].push_back(i);
  ASSERT_EQ(byTarget["good"].size(), 5u);
  ASSERT_EQ(byTarget["lost"].size(), 5u);
  ASSERT_EQ(byTarget["hung"].size(), 5u);

  // The k-th row after `from` comes a whole number of 0.5 s steps after it:
  // k steps, or more where a busy machine made a probe miss a slot (which
  // the report counts). Under the sanitizers a ping child is several times
  // slower to start and end, and a probe may start that much off its slot.
#ifdef QUORVEL_SANITIZED
  constexpr long long kSlackMs = 240;
#else
  constexpr long long kSlackMs = 150;
#endif
  const auto onGrid = [](long long from, long long to, long long k) {
    const long long steps = (to - from + 250) / 500;
    return steps >= k && std::llabs(to - from - 500 * steps) <= kSlackMs;
  };
  // The two live targets probe on their grid of 0.5 s all along.
  for (const std::string target : {"good", "lost"}) {
    for (std::size_t k = 0; k < 5; ++k) {
      const CsvRow& r = rows[byTarget[target][k]];
      EXPECT_TRUE(onGrid(rows[byTarget[target][0]].unixMs, r.unixMs, static_cast<long long>(k)))
          << target << " probe " << k;
      EXPECT_EQ(r.lost, target == "good" ? "0" : "1");
      EXPECT_EQ(r.replyMs, target == "good" ? "1.250" : "");
      EXPECT_EQ(r.plotted, target == "good" ? "1" : "300");
    }
  }
  // The hung probe: lost, ended by the kill at 10.45 s, and written only then,
  // after every row of the other two.
  const std::vector<std::size_t>& hung = byTarget["hung"];
  EXPECT_EQ(rows[hung[0]].lost, "1");
  EXPECT_GT(hung[0], byTarget["good"][4]);
  EXPECT_GT(hung[0], byTarget["lost"][4]);
  const long long gap = rows[hung[1]].unixMs - rows[hung[0]].unixMs;
  EXPECT_GE(gap, 10'450);
  EXPECT_LE(gap, 10'450 + 1'500);
  for (std::size_t k = 1; k < 5; ++k) {
    EXPECT_EQ(rows[hung[k]].replyMs, "2.500");
    EXPECT_TRUE(onGrid(rows[hung[1]].unixMs, rows[hung[k]].unixMs, static_cast<long long>(k) - 1))
        << "hung probe " << k;
  }
  // The hanging ping was killed, not left behind.
  const std::vector<pid_t> pids = Pids(In("pids"));
  ASSERT_EQ(pids.size(), 1u);
  EXPECT_FALSE(Alive(pids[0]));

  // The same rows as JSON Lines, then a summary line per target.
  std::vector<std::string> json = Split(FileText(In("rows.jsonl")), "\n");
  ASSERT_EQ(json.size(), 18u);
  for (std::size_t i = 15; i < 18; ++i) {
    EXPECT_EQ(json[i].rfind("{\"target\":\"" + std::string(i == 15 ? "good" : i == 16 ? "lost" : "hung") +
                                "\",\"event\":\"summary\",", 0), 0u) << json[i];
  }
  EXPECT_NE(json[17].find("\"missed_slots\":" + std::to_string(missed) + ","), std::string::npos) << json[17];
  json.resize(15);
  for (std::size_t i = 0; i < json.size(); ++i) {
    EXPECT_EQ(json[i].rfind("{\"target\":\"" + rows[i].target + "\",", 0), 0u) << json[i];
    EXPECT_NE(json[i].find("\"unix_ms\":" + std::to_string(rows[i].unixMs) + ","), std::string::npos);
  }

  // Every probe was the window's one-echo child: the target alone after "--";
  // ping waits the 300 ms timeout and the slack up to 50 ms before the next slot.
  std::multiset<std::string> runs;
  for (const std::string& run : Split(FileText(In("args")), "--end--\n")) runs.insert(run);
  EXPECT_EQ(runs.size(), 15u);
  for (const std::string target : {"good", "lost", "hung"}) {
    EXPECT_EQ(runs.count("-n\n-c\n1\n-W\n0.450\n--\n" + target + "\n"), 5u) << target;
  }
}

// SIGTERM, SIGINT and SIGHUP stop the agent within 2 s while a probe hangs:
// the hanging child is killed, every row is whole, the report is printed.
// The last case is Ctrl-C on a terminal: SIGINT to the whole process group,
// so the hanging ping dies of it too, and that probe must not count as lost.
TEST_F(AgentProgram, StopSignalsEndItCleanlyWithinTwoSeconds) {
  Host("hung", "hang\n");
  const int kGroupInterrupt = 0;
  for (const int sig : {SIGTERM, SIGINT, SIGHUP, kGroupInterrupt}) {
    SCOPED_TRACE(sig);
    fs::remove(In("rows.csv"));
    fs::remove(In("pids"));
    fs::remove(In("hosts/hung.state"));
    auto agent = Start({"--interval", "0.5", "--csv", In("rows.csv"), "good", "hung"}, sig == kGroupInterrupt);
    ASSERT_TRUE(Eventually([&] { return Split(FileText(In("rows.csv")), "\r\n").size() >= 3; }, 10s));
    ASSERT_TRUE(Eventually([&] { return Pids(In("pids")).size() == 1; }, 10s));
    const pid_t hanging = Pids(In("pids"))[0];
    EXPECT_TRUE(Alive(hanging));

    if (sig == kGroupInterrupt) {
      agent->SignalGroup(SIGINT);
    } else {
      agent->Signal(sig);
    }
    const ChildProgram::Ended ended = agent->Wait(10s);
    EXPECT_LT(ended.took, 2s);
    EXPECT_EQ(ended.status, 1);  // "hung" never answered
    EXPECT_FALSE(Alive(hanging));

    const std::vector<std::string> report = ReportLines(ended.output);
    ASSERT_EQ(report.size(), 2u) << ended.output;
    EXPECT_EQ(report[0].rfind("good sent=", 0), 0u);
    EXPECT_EQ(report[1], "hung sent=0 received=0 loss=- min=- avg=- p50=- p95=- p99=- max=- jitter=-");

    const std::string csv = FileText(In("rows.csv"));
    EXPECT_EQ(csv.substr(csv.size() - 2), "\r\n");  // no row cut short
    std::string header;
    const std::vector<CsvRow> rows = CsvRows(csv, header);
    EXPECT_GE(rows.size(), 2u);
    for (const CsvRow& r : rows) EXPECT_EQ(r.target, "good");
    const std::string sent = "good sent=" + std::to_string(rows.size()) + " ";
    EXPECT_EQ(report[0].rfind(sent, 0), 0u) << report[0];
  }
}

// However the agent ends, its ping children end with it: killed outright, it
// leaves no probe running behind it.
TEST_F(AgentProgram, KilledItLeavesNoProbeBehind) {
  for (const char* host : {"a", "b", "c", "d", "e"}) Host(host, "hang\n");
  auto agent = Start({"--interval", "0.5", "a", "b", "c", "d", "e"});
  ASSERT_TRUE(Eventually([&] { return Pids(In("pids")).size() == 5; }, 10s));
  agent->Signal(SIGKILL);
  EXPECT_EQ(agent->Wait(10s).status, 128 + SIGKILL);
  std::this_thread::sleep_for(1s);
  for (const pid_t ping : Pids(In("pids"))) {
    EXPECT_FALSE(Running(ping)) << ping;
    if (Running(ping)) ::kill(ping, SIGKILL);
  }
}

// With no descriptor to spare, no probe can be made: each is an error of
// its reason, not a loss; the reason is told once; the status is 4.
TEST_F(AgentProgram, ProbesThatCannotBeMadeAreErrorsNotLosses) {
#ifdef QUORVEL_SANITIZED
  // UBSan checks a pointer's memory through a pipe of its own; without a
  // descriptor to spare it reports a fault that is not there.
  GTEST_SKIP() << "the sanitizers need descriptors of their own";
#endif
  // Standard input, output and error, the signal and progress descriptors:
  // one more is no room for a probe's pipes.
  auto agent = std::make_unique<ChildProgram>(
      std::vector<std::string>{"prlimit", "--nofile=6:6", QUORVEL_AGENT, "--engine", "ping", "--count", "3", "--interval", "0.2", "a", "b"},
      Environment(), folder_.string());
  ASSERT_TRUE(agent->Started());
  const ChildProgram::Ended ended = agent->Wait(30s);
  EXPECT_EQ(ended.status, 4) << ended.errors;
  const std::vector<std::string> report = ReportLines(ended.output);
  ASSERT_EQ(report.size(), 2u) << ended.output;
  for (const std::string target : {"a", "b"}) {
    EXPECT_EQ(WithoutMissed(report[target == "a" ? 0 : 1]),
              target + " sent=0 received=0 loss=- min=- avg=- p50=- p95=- p99=- max=- jitter=- errors=3 (Too many open files: 3)");
  }
  const std::vector<std::string> errors = Split(ended.errors, "\n");
  ASSERT_EQ(errors.size(), 2u) << ended.errors;
  EXPECT_NE(errors[0].find(": a probe could not be made (Too many open files); such probes are counted as errors, "
                           "not as lost"), std::string::npos) << errors[0];
  EXPECT_EQ(errors[1], "quorvel-agent: no probe could be made: see the reasons above");
  EXPECT_FALSE(fs::exists(In("args")));  // no ping ran
}

// A full disk: the agent stops with status 3 and says why, and each output
// ends at its last whole row (a row that did not fit is taken back).
TEST_F(AgentProgram, AFullDiskLeavesEveryOutputEndingAtAWholeRow) {
  std::vector<std::string> targets;
  for (int i = 0; i < 20; ++i) targets.push_back("t" + std::to_string(i));
  for (const std::string format : {"--csv", "--json"}) {
    SCOPED_TRACE(format);
    std::string why;
    const std::string rows = In("rows-" + format.substr(2));
    const int status = InFullTmpfs(In("full"), "4k", [&](const std::string& full) {
      std::vector<std::string> words = {"--interval", "0.2", "--count", "1000", format, full + "/rows"};
      words.insert(words.end(), targets.begin(), targets.end());
      const ChildProgram::Ended ended = Start(words)->Wait(60s);
      std::ofstream(rows, std::ios::binary) << FileText(full + "/rows");
      const std::string said = "a row could not be written, so the agent stopped: " + full + "/rows: No space left on device";
      return ended.errors.find(said) == std::string::npos ? 99 : ended.status;
    }, why);
    if (status < 0) GTEST_SKIP() << "no tmpfs of our own (" << why << "): run as root";
    EXPECT_EQ(status, 3);
    const std::string text = FileText(rows);
    ASSERT_GT(text.size(), 1000u);
    const std::string end = format == "--csv" ? "\r\n" : "}\n";
    EXPECT_EQ(text.substr(text.size() - end.size()), end);
    for (const std::string& line : Split(text, "\n")) {
      EXPECT_EQ(line.back(), format == "--csv" ? '\r' : '}') << line;
    }
  }
}

// SIGTERM ends the agent promptly however many targets hang: every probe
// ends its own child. (bench/agent/stoptime.sh prints the time it takes;
// the bound here is only against a hang.)
TEST_F(AgentProgram, AThousandHangingTargetsStopPromptly) {
  std::vector<std::string> words = {"--engine", "ping", "--interval", "1", "--quiet"};
  for (int i = 0; i < 1000; ++i) words.push_back("h" + std::to_string(i));
  std::vector<std::string> environment = Environment();
  for (std::string& e : environment) {
    if (e.rfind("FAKE_PING_MODE=", 0) == 0) e = "FAKE_PING_MODE=hang";
  }
  words.insert(words.begin(), QUORVEL_AGENT);
  ChildProgram agent(words, environment, folder_.string());
  ASSERT_TRUE(Eventually([&] { return Pids(In("pids")).size() >= 500; }, 60s));
  agent.Signal(SIGTERM);
  const ChildProgram::Ended ended = agent.Wait(60s);
  EXPECT_LT(ended.took, 10s);
  EXPECT_EQ(ended.status, 1);
  for (const pid_t ping : Pids(In("pids"))) {
    if (!Running(ping)) continue;
    ADD_FAILURE() << "ping " << ping << " still runs";
    ::kill(ping, SIGKILL);
  }
}

// A bad command line is refused with a message and the usage, exit status 2,
// before anything is opened or run.
TEST_F(AgentProgram, BadArgumentsStartNothing) {
  const struct {
    std::vector<std::string> words;
    const char* message;
  } cases[] = {
      {{"--bogus", "good"}, "unknown option --bogus"},
      {{"good", "--interval"}, "--interval needs a value"},
      {{"--interval", "fast", "good"}, "--interval: \"fast\" is not a number of seconds"},
      {{"--interval", "0.1", "good"}, "--interval: 0.1 s is below the shortest interval, 0.2 s"},
      {{"--count", "3"}, "no target given"},
      {{"good", "-bad"}, "unknown option -bad (a target that starts with \"-\" goes after \"--\")"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> words = {"--csv", In("rows.csv")};
    words.insert(words.end(), c.words.begin(), c.words.end());
    SCOPED_TRACE(c.message);
    const ChildProgram::Ended ended = Start(words)->Wait(10s);
    EXPECT_EQ(ended.status, 2);
    EXPECT_EQ(ended.output, "");
    EXPECT_EQ(ended.errors,
              std::string("quorvel-agent: ") + c.message + "\n" +
                  "usage: quorvel-agent [-46q] [-i SECONDS] [-c N] [-t MS] [--csv FILE|-] [--json FILE|-]\n"
                  "                     [--listen [ADDRESS]:PORT] [--alert RULE]... [--on-alert PROGRAM]\n"
                  "                     [--engine auto|icmp|ping] [--path [--names]] TARGET...\n");
    EXPECT_FALSE(fs::exists(In("rows.csv")));
    EXPECT_FALSE(fs::exists(In("args")));  // no ping was run
  }
}

// As fping does: a name that does not resolve is said by name, is no loss,
// and has a status of its own. -4 reaches ping.
TEST_F(AgentProgram, ANameThatDoesNotResolveIsAnErrorNamingIt) {
  Host("nosuch.invalid", "unknown\n");
  const ChildProgram::Ended ended = Start({"-4", "-c", "2", "-i", "0.2", "good", "nosuch.invalid"})->Wait(30s);
  EXPECT_EQ(ended.status, 5);
  EXPECT_EQ(ended.errors, "quorvel-agent: nosuch.invalid: the name does not resolve\n");
  const std::vector<std::string> report = ReportLines(ended.output);
  ASSERT_EQ(report.size(), 2u) << ended.output;
  EXPECT_EQ(WithoutMissed(report[1]), "nosuch.invalid sent=0 received=0 loss=- min=- avg=- p50=- p95=- p99=- max=- "
                                      "jitter=- errors=2 (unknown host: 2)");
  EXPECT_NE(FileText(In("args")).find("-W\n0.150\n-4\n--\ngood\n"), std::string::npos);
}

// --alert end to end: "3 lost in a row" raises once and clears once, said
// on standard error, written as JSON lines, and run as the --on-alert
// program (no shell) with the event in its environment.
TEST_F(AgentProgram, AlertsReachStandardErrorTheRowsAndTheCommand) {
  Host("flaky", "reply 1.000\nlost\nlost\nlost\nlost\nreply 2.000\n");
  const std::string command = In("on-alert");
  {
    std::ofstream script(command);
    script << "#!/bin/sh\necho \"$QUORVEL_ALERT_STATE $QUORVEL_ALERT_TARGET $QUORVEL_ALERT_RULE "
              "$QUORVEL_ALERT_VALUE $# $QUORVEL_ALERT_UNIX_MS\" >> " << In("events") << "\n";
  }
  fs::permissions(command, fs::perms::owner_all);
  const ChildProgram::Ended ended = Start({"-c", "7", "-i", "0.2", "--alert", "lost>=3", "--on-alert", command,
                                           "--json", In("rows.jsonl"), "good", "flaky"})->Wait(30s);
  EXPECT_EQ(ended.status, 0);
  EXPECT_EQ(ended.errors,
            "quorvel-agent: alert raised: flaky lost>=3: 3 lost in a row\n"
            "quorvel-agent: alert cleared: flaky lost>=3: 0 lost in a row\n");
  std::vector<std::string> alerts;
  for (const std::string& line : Split(FileText(In("rows.jsonl")), "\n")) {
    if (line.find("\"event\":\"alert\"") != std::string::npos) alerts.push_back(line);
  }
  ASSERT_EQ(alerts.size(), 2u);
  EXPECT_EQ(alerts[0].rfind("{\"target\":\"flaky\",\"event\":\"alert\",\"state\":\"raised\",", 0), 0u) << alerts[0];
  EXPECT_NE(alerts[1].find("\"state\":\"cleared\""), std::string::npos) << alerts[1];
  const std::vector<std::string> runs = Split(FileText(In("events")), "\n");
  ASSERT_EQ(runs.size(), 2u) << FileText(In("events"));
  EXPECT_EQ(runs[0].rfind("raised flaky lost>=3 3 0 ", 0), 0u) << runs[0];
  EXPECT_EQ(runs[1].rfind("cleared flaky lost>=3 0 0 ", 0), 0u) << runs[1];
}

TEST_F(AgentProgram, APortInUseIsRefusedBeforeAnyProbe) {
  const int holder = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(holder, 1), 0);
  socklen_t size = sizeof address;
  ::getsockname(holder, reinterpret_cast<sockaddr*>(&address), &size);
  const std::string listen = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));

  const ChildProgram::Ended ended = Start({"--listen", listen, "good"})->Wait(10s);
  ::close(holder);
  EXPECT_EQ(ended.status, 2);
  EXPECT_EQ(ended.errors, "quorvel-agent: cannot listen on " + listen + ": Address already in use\n");
  EXPECT_FALSE(fs::exists(In("args")));
}

// The text served at /metrics passes Prometheus' own checker, also with
// targets whose names need escaping in a label.
TEST_F(AgentProgram, MetricsScrapePassesPromtool) {
  Host("good", "reply 0.047\nreply 1.250\nreply 30.500\nreply 0.800\n");
  Host("lost", "lost\n");
  const int port = FreeLoopbackPort();
  auto agent = Start({"--interval", "0.2", "--listen", "127.0.0.1:" + std::to_string(port),
                      "--csv", In("rows.csv"), "good", "lost", "we\"ird\\name", "h\xc3\xa9llo"});
  // Four probes per target at least.
  ASSERT_TRUE(Eventually([&] { return Split(FileText(In("rows.csv")), "\r\n").size() >= 17; }, 15s));

  const std::string reply = RoundTrip(port, "GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
  const std::size_t split = reply.find("\r\n\r\n");
  ASSERT_NE(split, std::string::npos) << reply;
  const std::string head = reply.substr(0, split + 2);
  const std::string body = reply.substr(split + 4);
  EXPECT_EQ(head.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << head;
  EXPECT_NE(head.find("\r\nContent-Type: text/plain; version=0.0.4\r\n"), std::string::npos) << head;
  EXPECT_NE(body.find("quorvel_requests_total{host=\"we\\\"ird\\\\name\"} "), std::string::npos) << body;
  EXPECT_NE(body.find("quorvel_responses_total{host=\"lost\"} 0\n"), std::string::npos) << body;
  // The server's and the process's own figures follow.
  EXPECT_NE(body.find("\nquorvel_http_connections_accepted_total "), std::string::npos) << body;
  EXPECT_NE(body.find("\nprocess_open_fds "), std::string::npos) << body;
  {
    std::ofstream(In("scrape.txt"), std::ios::binary) << body;
  }
  ChildProgram promtool({"promtool", "check", "metrics"}, {}, folder_.string(), In("scrape.txt"));
  ASSERT_TRUE(promtool.Started()) << "promtool is missing: run scripts/install-deps.sh";
  const ChildProgram::Ended checked = promtool.Wait(60s);
  EXPECT_EQ(checked.status, 0) << checked.output << checked.errors;
  EXPECT_EQ(checked.output + checked.errors, "");

  const std::string index = RoundTrip(port, "GET / HTTP/1.1\r\nHost: x\r\n\r\n");
  EXPECT_EQ(index.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << index;
  EXPECT_NE(index.find("<a href=\"/metrics\">"), std::string::npos);
  const std::string other = RoundTrip(port, "GET /quorvel.jpg HTTP/1.1\r\nHost: x\r\n\r\n");
  EXPECT_EQ(other.rfind("HTTP/1.1 404 Not Found\r\n", 0), 0u) << other;

  agent->Signal(SIGTERM);
  const ChildProgram::Ended ended = agent->Wait(10s);
  EXPECT_EQ(ended.status, 1);  // "lost" never answered
}

// Without the fake ping: the ICMP engine on loopback (the tests run as
// root, so an ICMP socket opens), five probes each, and the report says so.
TEST_F(AgentProgram, TheIcmpEngineProbesLoopbackAndSaysSo) {
  ChildProgram agent({QUORVEL_AGENT, "--count", "5", "127.0.0.1", "::1"}, {}, folder_.string());
  const ChildProgram::Ended ended = agent.Wait(30s);
  EXPECT_EQ(ended.status, 0) << ended.errors;
  EXPECT_EQ(ended.errors, "");
  const std::vector<std::string> report = Split(ended.output, "\n");
  ASSERT_EQ(report.size(), 3u) << ended.output;
  EXPECT_EQ(report[0].rfind("127.0.0.1 sent=5 received=5 loss=0.000% ", 0), 0u) << report[0];
  EXPECT_EQ(report[1].rfind("::1 sent=5 received=5 loss=0.000% ", 0), 0u) << report[1];
  EXPECT_EQ(report[2].rfind("engine: icmp (IPv4 ", 0), 0u) << report[2];
  EXPECT_NE(report[2].find("IPv6 "), std::string::npos) << report[2];
}

// Its /metrics names the engine and counts what only it tells apart, and
// passes promtool.
TEST_F(AgentProgram, TheIcmpEngineMetricsPassPromtool) {
  const int port = FreeLoopbackPort();
  ChildProgram agent({QUORVEL_AGENT, "--engine", "icmp", "-i", "0.05", "--listen", "127.0.0.1:" + std::to_string(port),
                      "--csv", In("rows.csv"), "127.0.0.1", "::1"},
                     {}, folder_.string());
  ASSERT_TRUE(Eventually([&] { return Split(FileText(In("rows.csv")), "\r\n").size() >= 9; }, 15s));
  const std::string reply = RoundTrip(port, "GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
  const std::string body = reply.substr(reply.find("\r\n\r\n") + 4);
  for (const std::string line : {"\nquorvel_engine_info{engine=\"icmp\",socket=\"", "\nquorvel_late_replies_total{host=\"::1\"} ",
                                 "\nquorvel_duplicate_replies_total{host=\"127.0.0.1\"} ",
                                 "\nquorvel_send_errors_total{host=\"127.0.0.1\"} 0\n",
                                 "\nquorvel_icmp_dropped_packets_total{reason=\"mismatched\"} "}) {
    EXPECT_NE(body.find(line), std::string::npos) << line << body;
  }
  {
    std::ofstream(In("scrape.txt"), std::ios::binary) << body;
  }
  ChildProgram promtool({"promtool", "check", "metrics"}, {}, folder_.string(), In("scrape.txt"));
  const ChildProgram::Ended checked = promtool.Wait(60s);
  EXPECT_EQ(checked.status, 0) << checked.output << checked.errors;
  EXPECT_EQ(checked.output + checked.errors, "");
  agent.Signal(SIGTERM);
  const ChildProgram::Ended ended = agent.Wait(10s);
  EXPECT_LT(ended.took, 2s);
  EXPECT_EQ(ended.status, 0) << ended.errors;
}

// --path on loopback: each target is the first hop; /metrics carries the
// hop series and the path changes, and passes promtool.
TEST_F(AgentProgram, APathOnLoopbackIsOneHop) {
  const int port = FreeLoopbackPort();
  ChildProgram agent({QUORVEL_AGENT, "--path", "-i", "0.1", "--listen", "127.0.0.1:" + std::to_string(port), "--csv",
                      In("hops.csv"), "127.0.0.1", "::1"},
                     {}, folder_.string());
  // Three rounds of each target at least.
  ASSERT_TRUE(Eventually([&] { return Split(FileText(In("hops.csv")), "\r\n").size() >= 7; }, 15s));
  const std::string reply = RoundTrip(port, "GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
  const std::string body = reply.substr(reply.find("\r\n\r\n") + 4);
  for (const std::string line :
       {"\nquorvel_hop_requests_total{host=\"127.0.0.1\",hop=\"1\",address=\"127.0.0.1\"} ",
        "\nquorvel_hop_responses_total{host=\"::1\",hop=\"1\",address=\"::1\"} ",
        "\nquorvel_hop_response_duration_seconds_count{host=\"::1\",hop=\"1\",address=\"::1\"} ",
        "\nquorvel_path_changes_total{host=\"127.0.0.1\"} 0\n", "\nquorvel_engine_info{engine=\"icmp\","}) {
    EXPECT_NE(body.find(line), std::string::npos) << line << body;
  }
  EXPECT_EQ(body.find("hop=\"2\""), std::string::npos) << body;
  {
    std::ofstream(In("scrape.txt"), std::ios::binary) << body;
  }
  ChildProgram promtool({"promtool", "check", "metrics"}, {}, folder_.string(), In("scrape.txt"));
  const ChildProgram::Ended checked = promtool.Wait(60s);
  EXPECT_EQ(checked.status, 0) << checked.output << checked.errors;
  EXPECT_EQ(checked.output + checked.errors, "");

  agent.Signal(SIGTERM);
  const ChildProgram::Ended ended = agent.Wait(10s);
  EXPECT_LT(ended.took, 2s);
  EXPECT_EQ(ended.status, 0) << ended.errors;
  // Per target: its HOST line, one hop (the target itself), its summary line.
  const std::vector<std::string> report = Split(ended.output, "\n");
  ASSERT_EQ(report.size(), 7u) << ended.output;
  EXPECT_EQ(report[1].rfind("  1.|-- 127.0.0.1 ", 0), 0u) << report[1];
  EXPECT_EQ(report[2].rfind("path to 127.0.0.1: ", 0), 0u) << report[2];
  EXPECT_EQ(report[4].rfind("  1.|-- ::1 ", 0), 0u) << report[4];
  EXPECT_EQ(report[6].rfind("engine: icmp (", 0), 0u) << report[6];
  std::string header;
  for (const std::string& row : Split(FileText(In("hops.csv")), "\r\n")) {
    if (header.empty()) {
      header = row;
      continue;
    }
    EXPECT_NE(row.find(",1,127.0.0.1,reply,"), row.find(",1,::1,reply,")) << row;  // hop 1, the target
  }
  EXPECT_EQ(header, "time,unix_ms,target,round,hop,address,status,rtt_ms");
}

// --names: a hop shows its name (127.0.0.1 is localhost in /etc/hosts) with
// its address; without it, the address alone (the test above).
TEST_F(AgentProgram, APathWithNamesShowsTheHopsName) {
  ChildProgram agent({QUORVEL_AGENT, "--path", "--names", "-c", "5", "-i", "0.1", "127.0.0.1"}, {},
                     folder_.string());
  const ChildProgram::Ended ended = agent.Wait(10s);
  EXPECT_EQ(ended.status, 0) << ended.errors;
  const std::vector<std::string> report = Split(ended.output, "\n");
  ASSERT_GE(report.size(), 2u) << ended.output;
  EXPECT_EQ(report[1].rfind("  1.|-- localhost (127.0.0.1) ", 0), 0u) << report[1];
}

}  // namespace
