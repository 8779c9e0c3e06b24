// quorvel-agent: pings several targets at once without a window and reports
// on them (see AgentHelp for the command line).

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "agent/agent.h"
#include "agent/agentoptions.h"
#include "agent/agentweb.h"
#include "agent/enginemetrics.h"
#include "agent/pathmetrics.h"
#include "icmp/pathengine.h"
#include "icmp/pathreport.h"
#include "agent/report.h"
#include "agent/rowoutput.h"
#include "agent/statuspage.h"
#include "agent/terminal.h"
#include "alert/alertcommand.h"
#include "system/descriptorlimit.h"
#include "system/processfigures.h"
#include "web/httpserver.h"

namespace {

using namespace quorvel;
using SteadyClock = std::chrono::steady_clock;

constexpr const char* kName = "quorvel-agent";

void Complain(const std::string& message) {
  WriteAll(2, std::string(kName) + ": " + message + "\n");
}

// "alert raised: 127.0.0.1 lost>=3: 3 lost in a row": the engine's line
// without the window's program name.
std::string AlertEventText(const AlertEvent& event) {
  const std::string line = AlertEventLine(event);
  const std::string prefix = "quorvel: ";
  return line.rfind(prefix, 0) == 0 ? line.substr(prefix.size()) : line;
}

std::vector<std::string> LiveLines(const std::vector<TargetSnapshot>& snapshots, RecentCount& missed) {
  std::size_t width = 0;
  std::uint64_t totalMissed = 0;
  for (const TargetSnapshot& s : snapshots) {
    width = std::max(width, std::min<std::size_t>(s.target.size(), 40));
    totalMissed += s.missedSlots;
  }
  std::vector<std::string> lines;
  lines.reserve(snapshots.size() + 1);
  const std::string behind = BehindLine(missed.Update(totalMissed, SteadyClock::now()), missed.Span());
  if (!behind.empty()) lines.push_back(behind);
  for (const TargetSnapshot& s : snapshots) lines.push_back(LiveLine(s, width));
  return lines;
}

// A file of --path rows or its JSON report: "-" is standard output. A CSV
// file gets the header once, when it is empty; one that starts with
// another line is refused (its rows are of another kind). -1 and `error`
// on failure.
int OpenPathOutput(const std::string& path, bool csv, std::string& error) {
  if (path == "-") {
    if (csv) WriteAll(1, icmp::PathCsvHeader());
    return 1;
  }
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
  if (fd < 0) {
    error = path + ": " + std::strerror(errno);
    return -1;
  }
  if (!csv) return fd;
  const std::string header = icmp::PathCsvHeader();
  std::string first(header.size(), '\0');
  const ssize_t n = ::pread(fd, first.data(), first.size(), 0);
  if (n == 0) {
    if (WriteAll(fd, header)) return fd;
    error = path + ": " + std::strerror(errno);
  } else if (n == static_cast<ssize_t>(header.size()) && first == header) {
    return fd;
  } else {
    error = path + ": not a CSV file of --path rows (its first line differs)";
  }
  ::close(fd);
  return -1;
}

// --path: the hops to every target by the ICMP engine's path discovery,
// one loop thread for all; a live report on a terminal, the final report
// (mtr's layout) per target, rows per hop per round, the JSON report.
int RunPath(const AgentOptions& options, int signals) {
  std::vector<icmp::Address> addresses;
  std::vector<std::string> names;
  bool unresolved = false;
  const auto stopPending = [] {
    sigset_t pending;
    sigemptyset(&pending);
    ::sigpending(&pending);
    return sigismember(&pending, SIGINT) == 1 || sigismember(&pending, SIGTERM) == 1 ||
           sigismember(&pending, SIGHUP) == 1;
  };
  const std::vector<std::optional<icmp::Address>> resolved =
      ResolveTargets(options.targets, options.family, ResolveTarget, kResolveBound, stopPending);
  if (stopPending()) return 0;
  for (std::size_t i = 0; i < options.targets.size(); ++i) {
    const std::string& target = options.targets[i];
    if (resolved[i]) {
      addresses.push_back(*resolved[i]);
      names.push_back(target);
    } else {
      Complain(target + ": the name does not resolve");
      unresolved = true;
    }
  }
  if (addresses.empty()) return kExitUnknownHost;

  int csv = -1;
  int json = -1;
  for (const auto& [path, isCsv] : {std::pair{&options.csvPath, true}, std::pair{&options.jsonPath, false}}) {
    if (!*path) continue;
    std::string error;
    const int fd = OpenPathOutput(**path, isCsv, error);
    if (fd < 0) {
      Complain(error);
      return 2;
    }
    (isCsv ? csv : json) = fd;
  }
  const bool rowsOnStandardOutput = csv == 1 || json == 1;

  icmp::PathOptions pathOptions;
  pathOptions.interval = options.interval;
  pathOptions.timeout = std::chrono::milliseconds(options.timeoutMs);
  pathOptions.rounds = options.count.value_or(0);
  pathOptions.names = options.names;
  const std::int32_t offset = SystemLocalClock().Now().utcOffsetSeconds;
  std::atomic<bool> writeFailed{false};
  std::string writeError;  // set once, on the loop thread, before writeFailed
  icmp::PathEngine engine(pathOptions, addresses, [&](const icmp::HopResult& r) {
    if (csv < 0 || writeFailed.load()) return;
    if (!WriteAll(csv, icmp::PathCsvLine(r, names[r.target], offset))) {
      writeError = std::string(std::strerror(errno));
      writeFailed.store(true);
    }
  });

  std::unique_ptr<HttpServer> server;
  if (options.listen) {
    HttpServerOptions serverOptions;
    serverOptions.bindAddress = options.listen->address;
    server = std::make_unique<HttpServer>(serverOptions);
    auto handler = std::make_shared<CallbackHandler>([&engine, &names, raw = server.get()](const WebRequest& request) {
      return AgentWebReply(request, [] { return std::vector<TargetMetrics>(); }, [&engine, &names, raw] {
        return FormatEngineMetrics(IcmpEngineFigures(engine.Info()), {}) +
               FormatPathMetrics(engine.Snapshot(), names) + FormatServerMetrics(raw->Counters()) +
               FormatProcessMetrics(ReadProcessFigures());
      });
    });
    const HttpServerStart started = server->Start(options.listen->port, std::move(handler));
    if (!started.ok) {
      Complain("cannot listen on " + options.listen->text + ": " + started.error);
      return 2;
    }
  }

  const icmp::EngineStatus started = engine.Start();
  if (!started.Ok()) {
    Complain("the ICMP engine cannot start: " + started.message);
    const bool noSocket = started.code == icmp::EngineStatus::Code::NoPermission ||
                          started.code == icmp::EngineStatus::Code::Unavailable;
    return noSocket ? kExitNoIcmpSocket : 2;
  }
  char host[256] = {};
  ::gethostname(host, sizeof host - 1);
  const bool live = !options.quiet && ::isatty(1) == 1 && !rowsOnStandardOutput;
  std::size_t drawn = 0;
  auto lastDraw = SteadyClock::now() - std::chrono::seconds(1);
  bool stopped = false;
  while (!engine.Finished() && !writeFailed.load()) {
    pollfd fds[1] = {{signals, POLLIN, 0}};
    ::poll(fds, 1, 200);
    if ((fds[0].revents & POLLIN) != 0) {
      stopped = true;
      break;
    }
    const auto now = SteadyClock::now();
    if (live && now - lastDraw >= std::chrono::seconds(1)) {
      std::vector<std::string> lines;
      for (const icmp::PathSnapshot& p : engine.Snapshot()) {
        const std::string text = icmp::PathReport(p, host, options.names);
        for (std::size_t at = 0; at < text.size();) {
          const std::size_t end = text.find('\n', at);
          lines.push_back(text.substr(at, end == std::string::npos ? std::string::npos : end - at));
          at = end == std::string::npos ? text.size() : end + 1;
        }
      }
      const TerminalSize size = SizeOf(1);
      WriteAll(1, LiveFrame(lines, drawn, size.columns, size.rows, drawn));
      lastDraw = now;
    }
  }
  (void)stopped;
  engine.Stop();
  engine.Wait();
  server.reset();
  if (live) WriteAll(1, ClearLiveFrame(drawn));

  const std::vector<icmp::PathSnapshot> paths = engine.Snapshot();
  std::string report;
  std::string jsonText;
  bool reachedAll = true;
  for (std::size_t i = 0; i < paths.size(); ++i) {
    report += icmp::PathReport(paths[i], host, options.names);
    if (!report.empty() && report.back() != '\n') report += '\n';
    jsonText += icmp::PathJson(paths[i], host, engine.PacketBytes(paths[i].target)) + "\n";
    reachedAll = reachedAll && paths[i].reached;
  }
  report += EngineLine(IcmpEngineFigures(engine.Info())) + "\n";
  WriteAll(rowsOnStandardOutput ? 2 : 1, report);
  if (json >= 0 && !writeFailed.load() && !WriteAll(json, jsonText)) {
    writeError = std::string(std::strerror(errno));
    writeFailed.store(true);
  }
  for (const int fd : {csv, json}) {
    if (fd > 2) ::close(fd);
  }
  if (writeFailed.load()) {
    Complain("a row could not be written, so the agent stopped: " + writeError);
    return 3;
  }
  if (unresolved) return kExitUnknownHost;
  return reachedAll ? 0 : 1;
}

int Run(const AgentOptions& options) {
  // The stop signals are taken from a signalfd by the main thread alone:
  // blocked here, before any thread exists, so that every thread inherits
  // the mask. The children get the default dispositions back (RunProcess).
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGHUP);
  ::pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  ::signal(SIGPIPE, SIG_IGN);  // a closed output is an error of its own write
  const int signals = ::signalfd(-1, &stopSignals, SFD_CLOEXEC | SFD_NONBLOCK);
  const int progress = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (signals < 0 || progress < 0) {
    Complain("cannot set up the stop signals");
    return 2;
  }
  if (options.path) return RunPath(options, signals);

  std::vector<std::unique_ptr<RowOutput>> owned;
  std::vector<RowOutput*> outputs;
  const std::pair<const std::optional<std::string>*, ExportFormat> wanted[] = {
      {&options.csvPath, ExportFormat::Csv}, {&options.jsonPath, ExportFormat::JsonLines}};
  for (const auto& [path, format] : wanted) {
    if (!*path) continue;
    std::string error;
    std::unique_ptr<RowOutput> output = RowOutput::Open(**path, format, error);
    if (!output) {
      Complain(error);
      return 2;
    }
    outputs.push_back(output.get());
    owned.push_back(std::move(output));
  }
  const bool rowsOnStandardOutput =
      std::any_of(outputs.begin(), outputs.end(), [](const RowOutput* o) { return o->ToStandardOutput(); });

  // The alert command runs on a thread of its own, so no probe waits for it.
  std::unique_ptr<AlertCommand> alertCommand;
  if (options.onAlert) {
    AlertCommandOptions commandOptions;
    commandOptions.program = *options.onAlert;
    alertCommand = std::make_unique<AlertCommand>(
        commandOptions, [](const std::string& message) { Complain(message); });
  }

  AgentDependencies dependencies;
  dependencies.complain = [](const std::string& line) { WriteAll(2, line); };
  dependencies.onAlert = [command = alertCommand.get()](const AlertEvent& event) {
    WriteAll(2, std::string(kName) + ": " + AlertEventText(event) + "\n");
    if (command) command->Submit(event);
  };
  // The stop signals stay pending for the whole process until the main
  // thread reads them, and it requests the stop before it reads.
  dependencies.stopPending = [stopSignals] {
    sigset_t pending;
    sigemptyset(&pending);
    ::sigpending(&pending);
    for (const int s : {SIGINT, SIGTERM, SIGHUP}) {
      if (sigismember(&pending, s) == 1 && sigismember(&stopSignals, s) == 1) return true;
    }
    return false;
  };
  dependencies.onProgress = [progress] {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(progress, &one, sizeof one);
  };
  Agent agent(options, std::move(dependencies), outputs);

  // Declared after the agent, so stopped before it goes: its handler reads
  // the agent's figures.
  std::unique_ptr<HttpServer> server;
  if (options.listen) {
    HttpServerOptions serverOptions;
    serverOptions.bindAddress = options.listen->address;
    // Room for every target's probe at once (two pipes and a pidfd each).
    serverOptions.descriptorReserve += 5 * options.targets.size();
    server = std::make_unique<HttpServer>(serverOptions);
    // The server outlives every call of its handler (Stop joins them).
    auto handler = std::make_shared<CallbackHandler>(
        [&agent, &options, raw = server.get()](const WebRequest& request) {
          const auto page = [&agent, &options] {
            const StatusPageContext context{options.interval, options.timeoutMs,
                                            SystemLocalClock().Now()};
            return AgentStatusPage(agent.Snapshot(true), context);
          };
          return AgentWebReply(request, [&agent] { return agent.Metrics(); }, [&agent, raw] {
            return FormatEngineMetrics(agent.Engine(), agent.Metrics()) + FormatServerMetrics(raw->Counters()) +
                   FormatProcessMetrics(ReadProcessFigures());
          }, page);
        });
    const HttpServerStart started = server->Start(options.listen->port, std::move(handler));
    if (!started.ok) {
      Complain("cannot listen on " + options.listen->text + ": " + started.error);
      return 2;
    }
  }

  std::string error;
  int startStatus = 2;
  if (!agent.Start(error, startStatus)) {
    Complain(error);
    return startStatus;
  }

  const bool live = !options.quiet && ::isatty(1) == 1 && !rowsOnStandardOutput;
  std::size_t drawn = 0;
  RecentCount missed(std::chrono::seconds(10));
  bool dirty = true;
  auto lastDraw = SteadyClock::now() - std::chrono::seconds(1);
  while (!agent.Finished()) {
    pollfd fds[2] = {{signals, POLLIN, 0}, {progress, POLLIN, 0}};
    // The ICMP engine ends its count on its own thread after its last
    // result: a bounded wait sees that end without a signal from it.
    ::poll(fds, 2, 200);
    if ((fds[0].revents & POLLIN) != 0) {
      agent.RequestStop();  // before the read, which clears the pending signal
      signalfd_siginfo info{};
      while (::read(signals, &info, sizeof info) == sizeof info) {
      }
    }
    if ((fds[1].revents & POLLIN) != 0) {
      std::uint64_t count = 0;
      [[maybe_unused]] const ssize_t n = ::read(progress, &count, sizeof count);
      dirty = true;
    }
    const auto now = SteadyClock::now();
    if (live && dirty && now - lastDraw >= std::chrono::milliseconds(200) && !agent.StopRequested()) {
      const TerminalSize size = SizeOf(1);
      WriteAll(1, LiveFrame(LiveLines(agent.Snapshot(), missed), drawn, size.columns, size.rows, drawn));
      dirty = false;
      lastDraw = now;
    }
  }
  agent.Wait();
  server.reset();
  // After a count, the commands of the last events still run (each within
  // its bound); a stop signal drops those not yet started.
  if (alertCommand && !agent.StopRequested()) alertCommand->Drain();
  alertCommand.reset();
  if (live) WriteAll(1, ClearLiveFrame(drawn));

  // Each JSON output ends with a summary line per target (unless a row
  // already failed); the report goes to standard output unless the rows do.
  if (agent.WriteError().empty()) agent.WriteSummaries();
  std::string report;
  const std::vector<TargetSnapshot> snapshots = agent.Snapshot();
  for (const TargetSnapshot& s : snapshots) report += ReportLine(s) + "\n";
  report += EngineLine(agent.Engine()) + "\n";
  WriteAll(rowsOnStandardOutput ? 2 : 1, report);

  const std::string writeError = agent.WriteError();
  if (!writeError.empty()) {
    Complain("a row could not be written, so the agent stopped: " + writeError);
    return 3;
  }
  const int status = ExitStatus(snapshots);
  if (status == kExitNothingProbed) Complain("no probe could be made: see the reasons above");
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  RaiseDescriptorLimit();
  const std::vector<std::string> arguments(argv + std::min(argc, 1), argv + argc);
  const ParsedArguments parsed = ParseAgentArguments(arguments);
  switch (parsed.status) {
    case ParsedArguments::Status::Help:
      WriteAll(1, AgentHelp());
      return 0;
    case ParsedArguments::Status::Version:
      WriteAll(1, AgentVersion());
      return 0;
    case ParsedArguments::Status::Error:
      WriteAll(2, std::string(kName) + ": " + parsed.error + "\n" + AgentUsage());
      return 2;
    case ParsedArguments::Status::Run:
      break;
  }
  return Run(parsed.options);
}
