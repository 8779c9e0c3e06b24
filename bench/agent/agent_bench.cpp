// The agent's own cost with 1, 10 and 100 targets at 1 s against the fake
// ping (which answers at once and never sends a packet):
//  - CPU per probe of the agent's process alone (getrusage RUSAGE_SELF, all
//    its threads), beside the ping children's (RUSAGE_CHILDREN), measured
//    over the steady part of the run (after a 2 s warm-up);
//  - its resident memory (VmRSS, and the peak VmHWM) at the end;
//  - the wall time of one probe made back to back, against a shell loop
//    running the same ping command, both measured in this run;
//  - the built quorvel-agent itself with 100 targets: its resident memory and
//    its CPU per probe from /proc (10 ms ticks, a cross-check).
//
// Each round runs in a fresh process of this program (--round N), so that
// its memory figures are its own. Usage: agent_bench [seconds per round]
// (default 30) [repeats of the three rounds, alternately in reverse order]
// (default 1).

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "agent/agent.h"
#include "agent/rowoutput.h"

extern char** environ;

namespace {

using namespace quorvel;
using Steady = std::chrono::steady_clock;

double Micros(const timeval& t) { return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_usec); }

double CpuMicros(int who) {
  rusage r{};
  ::getrusage(who, &r);
  return Micros(r.ru_utime) + Micros(r.ru_stime);
}

// A field of /proc/<pid>/status in kB ("VmRSS", "VmHWM").
long StatusKb(pid_t pid, const char* field) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  const std::string key = std::string(field) + ":";
  while (std::getline(in, line)) {
    if (line.rfind(key, 0) == 0) return std::strtol(line.c_str() + key.size(), nullptr, 10);
  }
  return -1;
}

// utime + stime of a process from /proc/<pid>/stat, in clock ticks.
long ProcessTicks(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::istringstream fields(text.substr(text.rfind(')') + 2));
  std::string f;
  long utime = 0, stime = 0;
  for (int i = 3; fields >> f; ++i) {
    if (i == 14) utime = std::atol(f.c_str());
    if (i == 15) { stime = std::atol(f.c_str()); break; }
  }
  return utime + stime;
}

std::size_t CountRows(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::size_t n = 0;
  for (std::size_t p = text.find("\r\n"); p != std::string::npos; p = text.find("\r\n", p + 2)) ++n;
  return n > 0 ? n - 1 : 0;  // less the header
}

std::vector<std::string> Targets(int n) {
  std::vector<std::string> targets;
  for (int i = 1; i <= n; ++i) targets.push_back("127.0.0." + std::to_string(i));
  return targets;
}

void UseFakePing() {
  const char* path = std::getenv("PATH");
  const std::string fake = std::string(QUORVEL_FAKE_PING_DIR) + ":" + (path ? path : "/usr/bin:/bin");
  ::setenv("PATH", fake.c_str(), 1);
  for (const char* v : {"FAKE_PING_MODE", "FAKE_PING_SCRIPT", "FAKE_PING_ARGS", "FAKE_PING_HOSTS", "FAKE_PING_PIDS"}) ::unsetenv(v);
}

std::string TempPath(const std::string& name) {
  return "/tmp/quorvel-agent-bench-" + std::to_string(::getpid()) + "-" + name;
}

// One round in this process: the agent's loops as quorvel-agent runs them
// (rows to a CSV file, one wake-up of the main thread per probe).
int Round(int targets, int seconds) {
  UseFakePing();
  AgentOptions options;
  options.interval = std::chrono::milliseconds(1000);
  options.timeoutMs = DefaultTimeoutMs(options.interval);
  options.targets = Targets(targets);
  options.engine = EngineChoice::Ping;  // the fake ping's figures
  const std::string csvPath = TempPath("round.csv");
  std::string error;
  auto csv = RowOutput::Open(csvPath, ExportFormat::Csv, error);
  if (!csv) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  const int progress = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  AgentDependencies d;
  d.onProgress = [progress] {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(progress, &one, sizeof one);
  };
  Agent agent(options, d, {csv.get()});
  if (!agent.Start(error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  const auto start = Steady::now();
  auto sent = [&] {
    std::uint64_t n = 0;
    for (const TargetSnapshot& s : agent.Snapshot()) n += s.summary.sent;
    return n;
  };
  double cpuFrom = 0, childFrom = 0;
  std::uint64_t sentFrom = 0;
  bool warm = false;
  const auto warmUp = std::chrono::seconds(2);
  const auto end = start + warmUp + std::chrono::seconds(seconds);
  // The main thread as in the program: woken by every probe, and otherwise
  // only at the two moments of measurement.
  while (Steady::now() < end) {
    const auto next = warm ? end : start + warmUp;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(next - Steady::now()).count();
    pollfd p{progress, POLLIN, 0};
    ::poll(&p, 1, static_cast<int>(std::max<long long>(left, 0)));
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t n = ::read(progress, &count, sizeof count);
    if (!warm && Steady::now() - start >= warmUp) {
      warm = true;
      cpuFrom = CpuMicros(RUSAGE_SELF);
      childFrom = CpuMicros(RUSAGE_CHILDREN);
      sentFrom = sent();
    }
  }
  const double cpu = CpuMicros(RUSAGE_SELF) - cpuFrom;
  const double child = CpuMicros(RUSAGE_CHILDREN) - childFrom;
  const std::uint64_t probes = sent() - sentFrom;
  const long rss = StatusKb(::getpid(), "VmRSS");
  const long hwm = StatusKb(::getpid(), "VmHWM");
  agent.RequestStop();
  agent.Wait();
  ::unlink(csvPath.c_str());
  std::printf("%d %llu %.3f %.3f %ld %ld\n", targets, static_cast<unsigned long long>(probes),
              cpu / static_cast<double>(probes), child / static_cast<double>(probes), rss, hwm);
  return 0;
}

pid_t Spawn(const std::vector<std::string>& argv, const std::string& out) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = -1;
  if (::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

std::string FileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--round") == 0) return Round(std::atoi(argv[2]), std::atoi(argv[3]));
  const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
  const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1;
  UseFakePing();

  std::printf("quorvel-agent cost against the fake ping, interval 1 s, %d s per round after 2 s of warm-up\n\n", seconds);
  std::printf("targets   probes   agent CPU/probe   ping CPU/probe   RSS      peak RSS\n");
  std::vector<double> perProbe;  // the last of each target count, in order 1, 10, 100
  std::vector<int> order;
  for (int r = 0; r < repeats; ++r) {
    // Repeats run the other way round, so that a change of the machine's load
    // shows instead of passing for an effect of the target count.
    const std::vector<int> counts = r % 2 == 0 ? std::vector<int>{1, 10, 100} : std::vector<int>{100, 10, 1};
    order.insert(order.end(), counts.begin(), counts.end());
  }
  perProbe.assign(3, 0);
  for (const int n : order) {
    const std::string out = TempPath("round.out");
    const pid_t pid = Spawn({"/proc/self/exe", "--round", std::to_string(n), std::to_string(seconds)}, out);
    int status = 0;
    ::waitpid(pid, &status, 0);
    int targets = 0;
    unsigned long long probes = 0;
    double cpu = 0, child = 0;
    long rss = 0, hwm = 0;
    if (std::sscanf(FileText(out).c_str(), "%d %llu %lf %lf %ld %ld", &targets, &probes, &cpu, &child, &rss, &hwm) != 6) {
      std::printf("round of %d targets failed\n", n);
      return 1;
    }
    ::unlink(out.c_str());
    perProbe[n == 1 ? 0 : n == 10 ? 1 : 2] = cpu;
    std::printf("%7d %8llu   %10.1f us     %10.1f us    %5.1f MiB  %5.1f MiB\n", targets, probes, cpu, child,
                static_cast<double>(rss) / 1024, static_cast<double>(hwm) / 1024);
  }
  std::printf("agent CPU per probe, 100 targets / 1 target: %.2f\n\n", perProbe[2] / perProbe[0]);

  // Back to back, one target: the agent's probe against a shell loop
  // running the same command line (the agent's argument vector).
  const int sequential = 200;
  const std::vector<std::string> same = {"ping", "-n", "-c", "1", "-W", "0.800", "--", "127.0.0.1"};
  const auto agentStart = Steady::now();
  const double agentCpuFrom = CpuMicros(RUSAGE_SELF);
  int replies = 0;
  ProbeRequest request;
  request.target = "127.0.0.1";
  request.timeoutMs = 800;
  request.waitMs = 800;
  for (int i = 0; i < sequential; ++i) {
    const ProbeResult s = PingOnce(request);
    replies += s.IsReply() ? 1 : 0;
  }
  const double agentWall = std::chrono::duration<double, std::micro>(Steady::now() - agentStart).count() / sequential;
  const double agentCpu = (CpuMicros(RUSAGE_SELF) - agentCpuFrom) / sequential;
  const std::string loop =
      "i=0; while [ \"$i\" -lt " + std::to_string(sequential) +
      " ]; do LC_ALL=C ping -n -c 1 -W 0.800 -- 127.0.0.1 > /dev/null 2>&1; i=$((i + 1)); done";
  const auto shellStart = Steady::now();
  const pid_t shell = Spawn({"/bin/sh", "-c", loop}, "/dev/null");
  ::waitpid(shell, nullptr, 0);
  const double shellWall = std::chrono::duration<double, std::micro>(Steady::now() - shellStart).count() / sequential;
  std::printf("one probe back to back, %d times (%d replies):\n", sequential, replies);
  std::printf("  agent probe (RunDosInMemo + parse): %8.1f us wall, %6.1f us CPU of the agent\n", agentWall, agentCpu);
  std::printf("  shell loop running the same ping:   %8.1f us wall\n", shellWall);
  std::printf("  agent / shell wall: %.2f\n\n", agentWall / shellWall);

  // The program itself with 100 targets.
  const std::string csv = TempPath("program.csv");
  const std::string report = TempPath("program.out");
  std::vector<std::string> args = {QUORVEL_AGENT, "--engine", "ping", "--quiet", "--csv", csv};
  for (const std::string& t : Targets(100)) args.push_back(t);
  const pid_t agent = Spawn(args, report);
  std::this_thread::sleep_for(std::chrono::seconds(2));
  const long ticksFrom = ProcessTicks(agent);
  const std::size_t rowsFrom = CountRows(csv);
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  const long ticks = ProcessTicks(agent) - ticksFrom;
  const std::size_t rows = CountRows(csv) - rowsFrom;
  const long rss = StatusKb(agent, "VmRSS");
  const long hwm = StatusKb(agent, "VmHWM");
  const auto stopAt = Steady::now();
  ::kill(agent, SIGTERM);
  int status = 0;
  ::waitpid(agent, &status, 0);
  const double stopMs = std::chrono::duration<double, std::milli>(Steady::now() - stopAt).count();
  const double tick = 1e6 / static_cast<double>(::sysconf(_SC_CLK_TCK));
  std::printf("build/quorvel-agent, 100 targets, %d s: %zu probes, CPU %.1f us/probe (%ld ticks of %.0f us),\n"
              "  RSS %.1f MiB, peak %.1f MiB, SIGTERM to exit %.0f ms, exit status %d\n",
              seconds, rows, static_cast<double>(ticks) * tick / static_cast<double>(rows), ticks, tick,
              static_cast<double>(rss) / 1024, static_cast<double>(hwm) / 1024, stopMs,
              WIFEXITED(status) ? WEXITSTATUS(status) : -1);
  ::unlink(csv.c_str());
  ::unlink(report.c_str());
  return 0;
}
