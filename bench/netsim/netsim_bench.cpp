// The simulator's own cost and limit: how many echo requests a second
// quorvel-netsim answers on this machine with its scheduled delays kept.
//
// For each rate in turn (1,000 to 120,000 requests a second, 3 s each) it
// runs quorvel-netsim with 64 targets answering after 10 ms, and inside it
// this program again (--load) sending echo requests at that rate from ICMP
// datagram sockets, paced by absolute sleeps on CLOCK_MONOTONIC. From the
// truth file it takes the rate the requests really came at, every reply's
// lateness (write time less due time): median, p99 and maximum; and the
// share of requests answered; beside them the wall time of the round and
// the simulator's CPU time (its children's less the load's own; the kernel's
// work of delivering a written reply counts as the simulator's), per packet
// read or written. A rate is kept
// when every request was answered and the p99 lateness is at most 1 ms; the
// rounds stop once a request goes unanswered or the load cannot send at the
// rate asked. The steal time of the round (/proc/stat: time the hypervisor
// gave the machine's CPUs to others) is printed beside it: on a virtual
// machine a sleeping CPU may wake late, and that, not the simulator's own
// work, is what its p99 lateness then shows. Traffic stays inside the
// simulator's namespace.
//
// usage: netsim_bench [seconds per rate]

#include <netinet/in.h>
#include <netinet/ip_icmp.h>
#include <arpa/inet.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

constexpr int kTargets = 64;
constexpr std::int64_t kLatenessBoundNs = 1'000'000;

std::int64_t Now() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

// Steal time of all CPUs so far, in ms (USER_HZ ticks of 10 ms).
long StealMs() {
  std::ifstream in("/proc/stat");
  std::string cpu;
  long v[8] = {};
  in >> cpu;
  for (long& x : v) in >> x;
  return v[7] * 10;
}

double CpuSeconds(int who) {
  rusage r{};
  getrusage(who, &r);
  return static_cast<double>(r.ru_utime.tv_sec + r.ru_stime.tv_sec) +
         static_cast<double>(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}

// Inside the simulator: `rate` echo requests a second for `seconds`, then
// half a second for the last replies. Writes its own CPU seconds to `cpuFile`.
int Load(long rate, double seconds, const char* cpuFile) {
  constexpr int kSockets = 8;
  int sockets[kSockets];
  for (int& s : sockets) {
    s = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK, IPPROTO_ICMP);
    if (s < 0) {
      std::perror("ICMP datagram socket");
      return 1;
    }
  }
  const long total = static_cast<long>(static_cast<double>(rate) * seconds);
  const std::int64_t gap = 1'000'000'000 / rate;
  std::uint8_t request[64] = {ICMP_ECHO};
  char buffer[256];
  const std::int64_t start = Now();
  for (long i = 0; i < total; ++i) {
    // Sleeps only where the next request is more than 100 us away: a wake-up
    // per request would cost more than the gap at high rates.
    const std::int64_t due = start + i * gap;
    timespec at{static_cast<time_t>(due / 1'000'000'000), static_cast<long>(due % 1'000'000'000)};
    while (due - Now() > 100'000 && clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) {
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(0xC0000201u + static_cast<std::uint32_t>(i % kTargets));  // 192.0.2.1...
    request[6] = static_cast<std::uint8_t>(i >> 8);
    request[7] = static_cast<std::uint8_t>(i);
    sendto(sockets[i % kSockets], request, sizeof request, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    if (i % 16 != 0) continue;
    for (int s : sockets) {
      while (recv(s, buffer, sizeof buffer, 0) > 0) {
      }
    }
  }
  const std::int64_t end = Now() + 500'000'000;
  while (Now() < end) {
    for (int s : sockets) {
      while (recv(s, buffer, sizeof buffer, 0) > 0) {
      }
    }
    usleep(1000);
  }
  std::ofstream(cpuFile) << CpuSeconds(RUSAGE_SELF) << "\n";
  return 0;
}

long Field(const std::string& line, const char* name) {
  const std::string key = std::string("\"") + name + "\":";
  const std::size_t at = line.find(key);
  return at == std::string::npos ? -1 : std::strtol(line.c_str() + at + key.size(), nullptr, 10);
}

struct Round {
  long requests = 0, answered = 0;
  double sentPerSecond = 0;  // the rate the requests really came at
  double wallSeconds = 0;
  long stealMs = 0;
  std::int64_t p50 = 0, p99 = 0, max = 0;
  double netsimCpu = 0;
};

Round Measure(const std::string& netsim, const std::string& self, long rate, double seconds) {
  const std::string dir = "/tmp/quorvel-netsim-bench-" + std::to_string(getpid());
  mkdir(dir.c_str(), 0700);
  const std::string scenario = dir + "/scenario.json", truth = dir + "/truth.jsonl", cpu = dir + "/cpu";
  std::ofstream(scenario) << R"({"targets": [{"address": "192.0.2.1", "count": )" << kTargets
                          << R"(, "profile": {"delay_ms": 10}}]})";
  std::vector<std::string> args = {netsim, "--scenario", scenario, "--truth", truth, "--",
                                   self, "--load", std::to_string(rate), std::to_string(seconds), cpu};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const double before = CpuSeconds(RUSAGE_CHILDREN);
  const std::int64_t started = Now();
  const long steal = StealMs();
  pid_t pid = -1;
  Round r;
  if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return r;
  int status = 0;
  waitpid(pid, &status, 0);
  r.wallSeconds = static_cast<double>(Now() - started) / 1e9;
  r.stealMs = StealMs() - steal;
  double loadCpu = 0;
  std::ifstream(cpu) >> loadCpu;
  r.netsimCpu = CpuSeconds(RUSAGE_CHILDREN) - before - loadCpu;
  std::vector<std::int64_t> lateness;
  std::ifstream in(truth);
  long first = -1, last = -1;
  for (std::string line; std::getline(in, line);) {
    if (line.find("\"echo-request\"") != std::string::npos) {
      ++r.requests;
      last = Field(line, "ns");
      if (first < 0) first = last;
    }
    if (line.find("\"dir\":\"out\"") == std::string::npos) continue;
    ++r.answered;
    lateness.push_back(Field(line, "ns") - Field(line, "due_ns"));
  }
  if (last > first) r.sentPerSecond = static_cast<double>(r.requests - 1) * 1e9 / static_cast<double>(last - first);
  std::sort(lateness.begin(), lateness.end());
  if (!lateness.empty()) {
    r.p50 = lateness[lateness.size() / 2];
    r.p99 = lateness[std::min(lateness.size() - 1, lateness.size() * 99 / 100)];
    r.max = lateness.back();
  }
  unlink(scenario.c_str());
  unlink(truth.c_str());
  unlink(cpu.c_str());
  rmdir(dir.c_str());
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "--load") == 0) return Load(std::atol(argv[2]), std::atof(argv[3]), argv[4]);
  const double seconds = argc > 1 ? std::atof(argv[1]) : 3;
  if (seconds <= 0 || seconds > 30) {
    std::fprintf(stderr, "usage: %s [seconds per rate, up to 30]\n", argv[0]);
    return 2;
  }
  char self[4096] = {};
  if (readlink("/proc/self/exe", self, sizeof self - 1) < 0) return 1;
  std::printf("quorvel-netsim: %d targets answering after 10 ms, %.0f s per rate; lateness = write - due\n",
              kTargets, seconds);
  std::printf("%8s %9s %8s %9s %11s %11s %11s %7s %7s %9s %9s\n", "asked/s", "came/s", "requests", "answered",
              "late p50 us", "late p99 us", "late max us", "wall s", "cpu s", "cpu us/pk", "steal ms");
  long kept = 0;
  for (const long rate : {1000L, 2000L, 5000L, 10000L, 20000L, 40000L, 60000L, 80000L, 120000L}) {
    const Round r = Measure(QUORVEL_NETSIM, self, rate, seconds);
    if (r.requests == 0) {
      std::printf("the simulator did not run (root and /dev/net/tun are needed)\n");
      return 1;
    }
    std::printf("%8ld %9.0f %8ld %8.2f%% %11.1f %11.1f %11.1f %7.2f %7.2f %9.2f %9ld\n", rate, r.sentPerSecond,
                r.requests,
                100.0 * static_cast<double>(r.answered) / static_cast<double>(r.requests),
                static_cast<double>(r.p50) / 1e3, static_cast<double>(r.p99) / 1e3,
                static_cast<double>(r.max) / 1e3, r.wallSeconds, r.netsimCpu, r.netsimCpu * 1e6 / static_cast<double>(r.requests + r.answered), r.stealMs);
    std::fflush(stdout);
    if (r.answered < r.requests || r.sentPerSecond < 0.95 * static_cast<double>(rate)) break;
    if (r.p99 <= kLatenessBoundNs) kept = rate;
  }
  std::printf("highest rate kept (every request answered, p99 lateness <= %ld us): %ld requests/s\n",
              static_cast<long>(kLatenessBoundNs / 1000), kept);
  return 0;
}
