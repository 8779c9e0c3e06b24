// quorvel-netsim: runs a command inside a simulated network (README.md).

#include <getopt.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "network.h"
#include "scenario.h"
#include "simulator.h"
#include "truthlog.h"
#include "tundevice.h"

namespace {

using namespace netsim;

constexpr const char* kUsage =
    "usage: quorvel-netsim --scenario FILE [--truth FILE.jsonl] [--seed N] -- COMMAND [ARGS...]\n"
    "       quorvel-netsim --check\n";

// Exit status for everything that keeps the command from running.
constexpr int kCannot = 2;

int Refuse(const std::string& message) {
  std::fprintf(stderr, "quorvel-netsim: %s\n", message.c_str());
  return kCannot;
}

std::string Absolute(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::absolute(path, ignored).string();
}

struct Options {
  std::string scenario;
  std::string truth;
  std::uint64_t seed = 1;
  bool check = false;
  std::vector<char*> command;
};

// Nothing when the line is wrong (the message has been printed).
std::optional<Options> ParseOptions(int argc, char** argv) {
  static const option longOptions[] = {{"scenario", required_argument, nullptr, 's'},
                                       {"truth", required_argument, nullptr, 't'},
                                       {"seed", required_argument, nullptr, 'r'},
                                       {"check", no_argument, nullptr, 'c'},
                                       {"help", no_argument, nullptr, 'h'},
                                       {nullptr, 0, nullptr, 0}};
  Options o;
  opterr = 0;
  for (int c; (c = ::getopt_long(argc, argv, "+", longOptions, nullptr)) != -1;) {
    switch (c) {
      case 's': o.scenario = optarg; break;
      case 't': o.truth = optarg; break;
      case 'c': o.check = true; break;
      case 'r': {
        char* end = nullptr;
        errno = 0;
        o.seed = std::strtoull(optarg, &end, 10);
        if (errno != 0 || end == optarg || *end != '\0' || optarg[0] == '-') {
          Refuse(std::string("--seed wants a whole number, not \"") + optarg + "\"");
          return std::nullopt;
        }
        break;
      }
      case 'h': std::fputs(kUsage, stdout); std::exit(0);
      default:
        Refuse(std::string("unknown or incomplete option ") + argv[optind - 1]);
        std::fputs(kUsage, stderr);
        return std::nullopt;
    }
  }
  for (int i = optind; i < argc; ++i) o.command.push_back(argv[i]);
  if (!o.check && (o.scenario.empty() || o.command.empty())) {
    Refuse("needs --scenario and a command after --");
    std::fputs(kUsage, stderr);
    return std::nullopt;
  }
  o.command.push_back(nullptr);
  return o;
}

int StatusOf(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return kCannot;
}

}  // namespace

int main(int argc, char** argv) {
  const std::optional<Options> options = ParseOptions(argc, argv);
  if (!options) return kCannot;

  Scenario scenario;
  if (options->check) {
    scenario.hostV4 = *IpAddress::Parse("192.0.2.254");
    scenario.hostV6 = *IpAddress::Parse("2001:db8::fffe");
  } else {
    ScenarioResult parsed = ReadScenario(options->scenario);
    if (!parsed.scenario) return Refuse(parsed.error);
    scenario = std::move(*parsed.scenario);
  }

  std::string error;
  const int tun = MakeSimulatedNetwork(scenario.hostV4, scenario.hostV6, error);
  if (tun < 0) return Refuse(error);
  if (options->check) return 0;
  WireTap tap;
  if (!tap.Open(kTunName, error)) {
    std::fprintf(stderr, "quorvel-netsim: no wire tap (%s): the truth's times are the simulator's own\n",
                 error.c_str());
  }
  TruthLog log;
  if (!log.Open(options->truth, error)) return Refuse(error);

  // Stop signals are read from a signalfd and passed on to the command; the
  // command gets them unblocked again.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  for (const int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&stopSignals, s);
  sigset_t previous;
  ::sigprocmask(SIG_BLOCK, &stopSignals, &previous);
  const int signals = ::signalfd(-1, &stopSignals, SFD_CLOEXEC | SFD_NONBLOCK);
  if (signals < 0) return Refuse(std::string("signalfd: ") + std::strerror(errno));

  if (!options->truth.empty()) ::setenv("QUORVEL_NETSIM_TRUTH", Absolute(options->truth).c_str(), 1);
  ::setenv("QUORVEL_NETSIM_SCENARIO", Absolute(options->scenario).c_str(), 1);
  Network network(scenario, options->seed);
  const std::int64_t start = MonotonicNs();
  const pid_t child = ::fork();
  if (child < 0) return Refuse(std::string("fork: ") + std::strerror(errno));
  if (child == 0) {
    ::sigprocmask(SIG_SETMASK, &previous, nullptr);
    ::execvp(options->command[0], options->command.data());
    std::fprintf(stderr, "quorvel-netsim: cannot run %s: %s\n", options->command[0], std::strerror(errno));
    ::_exit(127);
  }
  const int childDone = static_cast<int>(::syscall(SYS_pidfd_open, child, 0));
  if (childDone < 0) {
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    return Refuse(std::string("pidfd_open: ") + std::strerror(errno));
  }

  Simulator simulator(tun, tap, network, log, start);
  const std::string failure = simulator.Run(childDone, signals, child);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (!failure.empty()) return Refuse(failure);
  return StatusOf(status);
}
