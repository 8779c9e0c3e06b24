// The ICMP engine against fping, side by side in one run: each in a network
// namespace of its own (so neither sees the other's packets), both probing
// the same loopback targets 127.0.x.y at the same period for the same time,
// started together. For each: CPU per probe (user + system), peak resident
// memory, loss, and the period achieved. With --ladder instead, the engine
// alone at rising rates, a few seconds each (a step that fails runs once
// more), up to the first rate it cannot hold without loss or skipped slots
// on its one loop thread. With --floor, the kernel's own cost on this
// machine: the same socket sending the same probes at the same pace in a
// bare loop (no timer, no matching, nothing kept), one call per probe and
// one per pacing period, its replies read and dropped; on loopback the
// kernel's work of answering is charged to the prober too, so the loop runs
// once more with the namespace's echo answering off.
//
// Usage: icmp_bench [--targets N] [--seconds S] [--interval-ms MS]
//                   [--socket auto|datagram|raw] [--pacing-ms MS] [--no-fping]
//                   [--fping-gap-ms MS] [--ladder | --floor]
// fping's -i (the gap between two of its sends) is the interval over the
// targets unless --fping-gap-ms says otherwise (0: as fast as it can).
// Defaults: 10000 targets, 60 s, 1000 ms, auto. Needs root (namespaces);
// every packet stays on the loopback of a namespace the program made.

#include <fcntl.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "icmp/engine.h"

namespace {

using namespace quorvel::icmp;
using namespace std::chrono_literals;

struct Args {
  int targets = 10'000;
  int seconds = 60;
  int intervalMs = 1000;
  SocketPreference socket = SocketPreference::Auto;
  bool fping = true;
  bool ladder = false;
  double pacingMs = 2;
  double fpingGapMs = -1;  // fping's -i; below 0: the interval over the targets
  bool floor = false;
};

double Seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; }

double CpuSeconds(const rusage& r) { return Seconds(r.ru_utime) + Seconds(r.ru_stime); }

long PeakKb() {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return -1;
}

std::string TargetText(int i) { return "127.0." + std::to_string(i / 250) + "." + std::to_string(1 + i % 250); }

// A namespace of this process's own with loopback up and ping sockets
// allowed for every group.
bool EnterOwnNetwork(std::string& error) {
  if (::unshare(CLONE_NEWNET) != 0) {
    error = std::string("unshare: ") + std::strerror(errno) + " (run as root)";
    return false;
  }
  const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  ifreq request{};
  std::strcpy(request.ifr_name, "lo");
  ::ioctl(fd, SIOCGIFFLAGS, &request);
  request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP);
  const bool up = ::ioctl(fd, SIOCSIFFLAGS, &request) == 0;
  ::close(fd);
  std::ofstream("/proc/sys/net/ipv4/ping_group_range") << "0 2147483647\n";
  if (!up) error = "cannot bring loopback up";
  return up;
}

struct EngineFigures {
  EngineStatus status;
  std::string engine;
  EchoCounters counters;
  double cpuSeconds = 0;
  double wallSeconds = 0;
  long peakKb = 0;
  double meanPeriodMs = 0;
  double worstGapErrorMs = 0;  // the largest |gap between two sends of a target - interval|
  double meanRttUs = 0;
  double maxRttUs = 0;
};

// Per target, what the sink needs for the achieved period: kept small, since
// the sink runs on the loop thread.
struct SendTimes {
  std::int64_t first = 0;
  std::int64_t last = 0;
  std::uint64_t sends = 0;
};

EngineFigures RunEngine(const Args& a, std::chrono::milliseconds interval, int count) {
  std::vector<Address> targets;
  for (int i = 0; i < a.targets; ++i) targets.push_back(boost::asio::ip::make_address(TargetText(i)));
  std::vector<SendTimes> times(targets.size());
  double worstGapNs = 0;
  double rttSum = 0, rttMax = 0;
  std::uint64_t replies = 0;
  const double intervalNs = static_cast<double>(std::chrono::nanoseconds(interval).count());
  EchoOptions o;
  o.interval = interval;
  o.timeout = std::min<std::chrono::nanoseconds>(interval, 1s);
  o.count = static_cast<std::uint64_t>(count);
  o.socket = a.socket;
  o.pacing = std::chrono::nanoseconds(static_cast<std::int64_t>(a.pacingMs * 1e6));
  EchoEngine engine(o, targets, [&](const ProbeResult& r) {
    if (r.outcome == Outcome::Reply) {
      rttSum += static_cast<double>(r.rttNs);
      rttMax = std::max(rttMax, static_cast<double>(r.rttNs));
      ++replies;
    }
    if (r.outcome != Outcome::Reply && r.outcome != Outcome::Lost && r.outcome != Outcome::Error) return;
    SendTimes& t = times[r.target];
    if (t.sends == 0) t.first = r.sentUnixNs;
    if (t.sends > 0) worstGapNs = std::max(worstGapNs, std::abs(static_cast<double>(r.sentUnixNs - t.last) - intervalNs));
    t.last = r.sentUnixNs;
    ++t.sends;
  });
  EngineFigures f;
  rusage before{}, after{};
  ::getrusage(RUSAGE_SELF, &before);
  const auto start = std::chrono::steady_clock::now();
  f.status = engine.Start();
  if (!f.status.Ok()) return f;
  engine.Wait();
  f.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  ::getrusage(RUSAGE_SELF, &after);
  f.cpuSeconds = CpuSeconds(after) - CpuSeconds(before);
  f.counters = engine.Counters();
  f.engine = DescribeEngine(engine.Info());
  f.peakKb = PeakKb();
  double sum = 0;
  int n = 0;
  for (const SendTimes& t : times) {
    if (t.sends < 2) continue;
    sum += static_cast<double>(t.last - t.first) / static_cast<double>(t.sends - 1);
    ++n;
  }
  f.meanPeriodMs = n ? sum / n / 1e6 : 0;
  f.worstGapErrorMs = worstGapNs / 1e6;
  f.meanRttUs = replies ? rttSum / static_cast<double>(replies) / 1e3 : 0;
  f.maxRttUs = rttMax / 1e3;
  return f;
}

struct FpingFigures {
  bool ran = false;
  double cpuSeconds = 0;
  double wallSeconds = 0;
  long peakKb = 0;
  std::uint64_t sent = 0;
  std::uint64_t received = 0;
  int exitStatus = -1;
};

// fping in a namespace of its own, its summary (stderr) into `output`.
pid_t StartFping(const Args& a, const std::string& targetsFile, const std::string& output) {
  const pid_t pid = ::fork();
  if (pid != 0) return pid;
  std::string error;
  if (!EnterOwnNetwork(error)) ::_exit(120);
  const int fd = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ::dup2(fd, 2);
  ::dup2(fd, 1);
  // -i: the gap between two sends, so that the targets spread over the period.
  char gap[32];
  std::snprintf(gap, sizeof gap, "%.3f",
                a.fpingGapMs >= 0 ? a.fpingGapMs : static_cast<double>(a.intervalMs) / a.targets);
  const std::string count = std::to_string(a.seconds);
  const std::string period = std::to_string(a.intervalMs);
  ::execlp("fping", "fping", "-q", "-c", count.c_str(), "-p", period.c_str(), "-i", gap, "-f",
           targetsFile.c_str(), static_cast<char*>(nullptr));
  ::_exit(127);
}

FpingFigures WaitFping(pid_t pid, const std::string& output, std::chrono::steady_clock::time_point start) {
  FpingFigures f;
  int status = 0;
  rusage usage{};
  ::wait4(pid, &status, 0, &usage);
  f.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  f.ran = WIFEXITED(status) && WEXITSTATUS(status) < 100;
  f.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  f.cpuSeconds = CpuSeconds(usage);
  f.peakKb = usage.ru_maxrss;
  // "127.0.0.1 : xmt/rcv/%loss = 60/60/0%, min/avg/max = ..."
  std::ifstream in(output);
  std::string line;
  while (std::getline(in, line)) {
    const auto at = line.find("xmt/rcv/%loss = ");
    if (at == std::string::npos) continue;
    unsigned long sent = 0, received = 0;
    if (std::sscanf(line.c_str() + at + 16, "%lu/%lu", &sent, &received) == 2) {
      f.sent += sent;
      f.received += received;
    }
  }
  return f;
}

void PrintSideBySide(const Args& a, const EngineFigures& e, const FpingFigures& f) {
  const double engineProbes = static_cast<double>(e.counters.sent);
  std::printf("\n%d loopback targets, every %d ms, %d probes each, both at once in separate namespaces\n",
              a.targets, a.intervalMs, a.seconds);
  std::printf("engine: %s\n\n", e.engine.c_str());
  std::printf("%-24s %14s %14s\n", "", "quorvel icmp", "fping");
  std::printf("%-24s %14.0f %14lu\n", "probes sent", engineProbes, static_cast<unsigned long>(f.sent));
  std::printf("%-24s %14.4f %14.4f\n", "loss %", engineProbes ? 100.0 * static_cast<double>(e.counters.lost + e.counters.errors) / engineProbes : 0,
              f.sent ? 100.0 * static_cast<double>(f.sent - f.received) / static_cast<double>(f.sent) : 0);
  std::printf("%-24s %14.2f %14.2f\n", "CPU s (user+system)", e.cpuSeconds, f.cpuSeconds);
  std::printf("%-24s %14.2f %14.2f\n", "CPU per probe, us", engineProbes ? e.cpuSeconds * 1e6 / engineProbes : 0,
              f.sent ? f.cpuSeconds * 1e6 / static_cast<double>(f.sent) : 0);
  std::printf("%-24s %14.1f %14.1f\n", "peak RSS, MiB", static_cast<double>(e.peakKb) / 1024, static_cast<double>(f.peakKb) / 1024);
  std::printf("%-24s %14.1f %14.1f\n", "wall time, s", e.wallSeconds, f.wallSeconds);
  std::printf("%-24s %14.3f %14.3f\n", "achieved period, ms", e.meanPeriodMs,
              f.sent ? f.wallSeconds * 1000 / (static_cast<double>(f.sent) / a.targets) : 0);
  std::printf("\nengine: worst gap between two probes of a target off by %.3f ms; late %lu, duplicates %lu, "
              "send errors %lu, skipped slots %lu, overruns %lu, invalid %lu, foreign %lu\n",
              e.worstGapErrorMs, static_cast<unsigned long>(e.counters.late),
              static_cast<unsigned long>(e.counters.duplicates), static_cast<unsigned long>(e.counters.sendErrors),
              static_cast<unsigned long>(e.counters.skipped), static_cast<unsigned long>(e.counters.overruns),
              static_cast<unsigned long>(e.counters.invalid), static_cast<unsigned long>(e.counters.foreign));
  std::printf("engine round trips: mean %.1f us, longest %.1f us; stamps: kernel %lu, kernel receive %lu, user %lu\n",
              e.meanRttUs, e.maxRttUs,
              static_cast<unsigned long>(e.counters.kernelStamps),
              static_cast<unsigned long>(e.counters.kernelReceiveStamps),
              static_cast<unsigned long>(e.counters.userStamps));
  std::printf("fping's period is its wall time over its probes per target (it prints no send times with -q);"
              " fping exit status %d\n",
              f.exitStatus);
}

int Ladder(const Args& a) {
  std::printf("%d loopback targets, the engine alone, %d s per step\n", a.targets, a.seconds);
  std::printf("%10s %12s %10s %10s %10s %10s %10s %10s\n", "period ms", "probes/s", "CPU %", "us/probe", "loss %",
              "late", "skipped", "overruns");
  int best = 0;
  for (const int ms : {1000, 500, 250, 200, 175, 150, 140, 130, 120, 110, 100, 80}) {
    bool clean = false;
    // A step that skipped slots runs once more: on a shared machine the loop
    // thread may wait for a core for a moment without being short of one.
    for (int attempt = 0; attempt < 2 && !clean; ++attempt) {
      const int count = std::max(2, a.seconds * 1000 / ms);
      const EngineFigures e = RunEngine(a, std::chrono::milliseconds(ms), count);
      if (!e.status.Ok()) {
        std::fprintf(stderr, "%s\n", e.status.message.c_str());
        return 1;
      }
      const double sent = static_cast<double>(e.counters.sent);
      const double loss = sent ? 100.0 * static_cast<double>(e.counters.lost + e.counters.errors) / sent : 100;
      std::printf("%10d %12d %10.1f %10.2f %10.4f %10lu %10lu %10lu\n", ms, a.targets * 1000 / ms,
                  100 * e.cpuSeconds / e.wallSeconds, e.cpuSeconds * 1e6 / sent, loss,
                  static_cast<unsigned long>(e.counters.late), static_cast<unsigned long>(e.counters.skipped),
                  static_cast<unsigned long>(e.counters.overruns));
      std::fflush(stdout);
      clean = loss == 0 && e.counters.skipped == 0;
    }
    if (!clean) break;
    best = a.targets * 1000 / ms;
  }
  std::printf("highest rate without loss or skipped slots: %d probes/s\n", best);
  return 0;
}

// One bare loop of the floor: each pacing period, the probes of that period
// sent one call each or in one call, then whatever came back read and
// dropped. Returns the CPU seconds it took.
double FloorLoop(const Args& a, IcmpSocket& socket, bool batched, std::uint64_t& received) {
  std::vector<Address> targets;
  for (int i = 0; i < a.targets; ++i) targets.push_back(boost::asio::ip::make_address(TargetText(i)));
  const auto pacing = std::chrono::nanoseconds(static_cast<std::int64_t>(a.pacingMs * 1e6));
  const auto perWake = static_cast<std::size_t>(std::max(1L, std::lround(a.targets * a.pacingMs / a.intervalMs)));
  const long total = static_cast<long>(a.targets) * a.seconds;
  std::vector<std::uint8_t> bytes(perWake * 64);
  std::vector<Outgoing> batch(perWake);
  ReceiveBatch replies;
  rusage before{}, after{};
  ::getrusage(RUSAGE_SELF, &before);
  for (long sent = 0; sent < total;) {
    const std::size_t n = std::min<std::size_t>(perWake, static_cast<std::size_t>(total - sent));
    for (std::size_t k = 0; k < n; ++k, ++sent) {
      const auto message = std::span(bytes).subspan(k * 64, 64);
      BuildEchoRequest(Family::V4, socket.Info().identifier, ProbeTag{1, static_cast<std::uint64_t>(sent)}, 56, message);
      batch[k] = {&targets[static_cast<std::size_t>(sent % a.targets)], message, 0, 0};
      if (!batched) socket.Send(*batch[k].to, message, 0);
    }
    if (batched) socket.SendBatch(std::span(batch).first(n));
    bool more = true;
    while (more) {
      replies.Clear();
      more = socket.Receive(replies, 512);
      received += replies.items.size();
    }
    std::this_thread::sleep_for(pacing);
  }
  ::getrusage(RUSAGE_SELF, &after);
  return CpuSeconds(after) - CpuSeconds(before);
}

int Floor(const Args& a) {
  const struct {
    const char* name;
    bool batched;
    bool answers;
  } loops[] = {
      {"one sendmsg per probe", false, true},
      {"one sendmmsg per period", true, true},
      // Loopback charges the target's work (the answer and its way back)
      // to the prober; with answering off it is left out.
      {"one sendmmsg per period, echo answering off", true, false},
  };
  std::printf("kernel floor, %d targets every %d ms, %.1f ms periods, %d s each: the same socket in a bare loop\n",
              a.targets, a.intervalMs, a.pacingMs, a.seconds);
  for (const auto& loop : loops) {
    std::ofstream("/proc/sys/net/ipv4/icmp_echo_ignore_all") << (loop.answers ? "0\n" : "1\n");
    SocketOpen open = OpenKernelSocket(Family::V4, a.socket, SizingFor(a.targets * 1000.0 / a.intervalMs));
    if (open.status != SocketOpen::Status::Ok) {
      std::fprintf(stderr, "%s\n", open.message.c_str());
      return 1;
    }
    std::uint64_t received = 0;
    const double cpu = FloorLoop(a, *open.socket, loop.batched, received);
    std::printf("  %-46s %s: %.2f us CPU per probe (%lu items read: replies and stamps)\n", loop.name,
                open.socket->Info().kind == SocketKind::Raw ? "raw" : "datagram",
                cpu * 1e6 / (static_cast<double>(a.targets) * a.seconds), static_cast<unsigned long>(received));
    std::fflush(stdout);
  }
  std::ofstream("/proc/sys/net/ipv4/icmp_echo_ignore_all") << "0\n";
  return 0;
}

bool ParseArgs(int argc, char** argv, Args& a) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : ""; };
    if (arg == "--targets") a.targets = std::atoi(value());
    else if (arg == "--seconds") a.seconds = std::atoi(value());
    else if (arg == "--interval-ms") a.intervalMs = std::atoi(value());
    else if (arg == "--no-fping") a.fping = false;
    else if (arg == "--pacing-ms") a.pacingMs = std::atof(value());
    else if (arg == "--fping-gap-ms") a.fpingGapMs = std::atof(value());
    else if (arg == "--ladder") a.ladder = true;
    else if (arg == "--floor") a.floor = true;
    else if (arg == "--socket") {
      const std::string v = value();
      a.socket = v == "raw" ? SocketPreference::Raw : v == "datagram" ? SocketPreference::Datagram : SocketPreference::Auto;
    } else {
      return false;
    }
  }
  return a.targets > 0 && a.targets <= 60'000 && a.seconds > 0 && a.seconds <= 600 && a.intervalMs >= 10 && a.pacingMs > 0;
}

}  // namespace

int main(int argc, char** argv) {
  Args a;
  if (!ParseArgs(argc, argv, a)) {
    std::fprintf(stderr, "usage: icmp_bench [--targets N] [--seconds S] [--interval-ms MS] "
                         "[--socket auto|datagram|raw] [--pacing-ms MS] [--no-fping] [--fping-gap-ms MS] "
                         "[--ladder | --floor]\n");
    return 2;
  }
  const std::string dir = "/tmp/icmp_bench." + std::to_string(::getpid());
  ::mkdir(dir.c_str(), 0700);
  const std::string targetsFile = dir + "/targets", fpingOutput = dir + "/fping.out";
  {
    std::ofstream out(targetsFile);
    for (int i = 0; i < a.targets; ++i) out << TargetText(i) << '\n';
  }
  const auto start = std::chrono::steady_clock::now();
  const pid_t fping = a.fping && !a.ladder && !a.floor ? StartFping(a, targetsFile, fpingOutput) : -1;
  std::string error;
  if (!EnterOwnNetwork(error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  int status = 0;
  if (a.floor) {
    status = Floor(a);
  } else if (a.ladder) {
    status = Ladder(a);
  } else {
    const EngineFigures e = RunEngine(a, std::chrono::milliseconds(a.intervalMs), a.seconds);
    if (!e.status.Ok()) std::fprintf(stderr, "engine: %s\n", e.status.message.c_str());
    const FpingFigures f = fping > 0 ? WaitFping(fping, fpingOutput, start) : FpingFigures{};
    PrintSideBySide(a, e, f);
  }
  std::remove(targetsFile.c_str());
  std::remove(fpingOutput.c_str());
  ::rmdir(dir.c_str());
  return status;
}
