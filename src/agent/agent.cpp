#include "agent/agent.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <system_error>

#include "probe/pingchild.h"
#include "stats/isotime.h"

namespace quorvel {

ProbeResult PingOnce(const ProbeRequest& request) {
  PingChildOptions options;
  options.shouldStop = request.stopping;
  const int wait = std::max(request.waitMs, request.timeoutMs);
  return PingChild(PingCommand{request.target, wait, request.family}, options);
}

std::uint64_t NextSlot(std::uint64_t done, std::chrono::steady_clock::duration elapsed,
                       std::chrono::milliseconds interval) {
  const auto step = std::chrono::duration_cast<std::chrono::steady_clock::duration>(interval);
  std::uint64_t next = done + 1;
  if (elapsed > step * static_cast<std::int64_t>(next)) {
    // The first slot that begins at or after `elapsed`.
    const auto slots = (elapsed + step - std::chrono::steady_clock::duration(1)) / step;
    next = std::max<std::uint64_t>(next, static_cast<std::uint64_t>(slots));
  }
  return next;
}

struct Agent::Target {
  Target(std::string targetName, const std::vector<AlertRule>& rules)
      : name(std::move(targetName)), figures(name), alerts(name, rules) {}
  const std::string name;
  // Each loop sleeps on its own, so that loops share nothing but the outputs.
  std::mutex wakeMutex;
  std::condition_variable wake;
  mutable std::mutex mutex;  // guards the figures and the alerts below
  TargetFigures figures;
  AlertEngine alerts;  // no rules: nothing to do
};

namespace {

std::string AlertJson(const AlertEvent& e) {
  return "{\"target\":" + JsonString(e.target) + ",\"event\":\"alert\",\"state\":\"" +
         AlertEventTypeName(e.type) + "\",\"time\":" + JsonString(FormatIsoLocal(e.unixMs, e.utcOffsetSeconds)) +
         ",\"unix_ms\":" + std::to_string(e.unixMs) + ",\"rule\":" + JsonString(e.rule) +
         ",\"value\":" + JsonString(e.figures.value) + ",\"description\":" + JsonString(e.figures.description) +
         "}\n";
}

}  // namespace

Agent::Agent(AgentOptions options, AgentDependencies dependencies, std::vector<RowOutput*> outputs)
    : options_(std::move(options)), dependencies_(std::move(dependencies)), outputs_(std::move(outputs)) {
  for (const std::string& name : options_.targets) {
    targets_.push_back(std::make_unique<Target>(name, options_.alerts));
  }
}

Agent::~Agent() {
  RequestStop();
  Wait();
}

std::string EngineLine(const EngineFigures& figures) {
  return "engine: " + figures.engine + " (" + figures.description + ")";
}

bool Agent::Start(std::string& error) {
  int status = 0;
  return Start(error, status);
}

bool Agent::Start(std::string& error, int& status) {
  status = 2;
  if (options_.engine != EngineChoice::Ping) {
    const icmp::EngineStatus started = StartEngine();
    if (started.Ok()) return true;
    const bool noSocket = started.code == icmp::EngineStatus::Code::NoPermission ||
                          started.code == icmp::EngineStatus::Code::Unavailable;
    if (!noSocket || options_.engine == EngineChoice::Icmp) {
      error = "the ICMP engine cannot start: " + started.message;
      if (noSocket) status = kExitNoIcmpSocket;
      return false;
    }
    if (targets_.size() > kMaxChildTargets) {
      error = "no ICMP socket, and the ping child runs at most 1000 targets: " + started.message;
      status = kExitNoIcmpSocket;
      return false;
    }
    if (options_.interval < kMinInterval) {
      error = "no ICMP socket for an interval below 0.2 s (the ping child's shortest): " + started.message;
      status = kExitNoIcmpSocket;
      return false;
    }
    if (dependencies_.complain) {
      dependencies_.complain("quorvel-agent: no ICMP socket, so each probe runs ping instead: " + started.message +
                             "\n");
    }
  }
  return StartThreads(error);
}

bool Agent::StartThreads(std::string& error) {
  const auto start = std::chrono::steady_clock::now();
  const auto n = static_cast<std::int64_t>(targets_.size());
  const auto interval = std::chrono::duration_cast<std::chrono::steady_clock::duration>(options_.interval);
  for (std::int64_t i = 0; i < n; ++i) {
    const auto base = start + interval * i / n;
    running_.fetch_add(1);
    try {
      threads_.emplace_back([this, i, base] { Loop(*targets_[static_cast<std::size_t>(i)], base); });
    } catch (const std::system_error& e) {
      running_.fetch_sub(1);
      error = "cannot start a probe thread: " + std::string(e.what());
      RequestStop();
      Wait();
      return false;
    }
  }
  return true;
}

icmp::EngineStatus Agent::StartEngine() {
  // Names first, so that no probe waits for a resolver; a name that does
  // not resolve is said and counted once, after the engine has started (a
  // fallback to ping leaves names to ping).
  std::vector<std::string> names;
  for (const auto& target : targets_) names.push_back(target->name);
  const std::vector<std::optional<icmp::Address>> resolved = ResolveTargets(
      names, options_.family, dependencies_.resolve, kResolveBound,
      [this] { return StopRequested() || (dependencies_.stopPending && dependencies_.stopPending()); });
  std::vector<icmp::Address> addresses;
  std::vector<std::size_t> unresolved;
  for (std::size_t i = 0; i < targets_.size(); ++i) {
    if (const std::optional<icmp::Address>& a = resolved[i]) {
      addresses.push_back(*a);
      engineTargets_.push_back(i);
    } else {
      unresolved.push_back(i);
    }
  }
  if (!addresses.empty()) {
    icmp::EchoOptions echo;
    echo.interval = options_.interval;
    echo.timeout = std::chrono::milliseconds(options_.timeoutMs);
    echo.count = options_.count.value_or(0);
    engine_ = std::make_unique<icmp::EchoEngine>(
        echo, std::move(addresses), [this](const icmp::ProbeResult& r) { RecordEcho(r); }, dependencies_.engine);
    const icmp::EngineStatus started = engine_->Start();
    if (!started.Ok()) {
      engine_.reset();
      engineTargets_.clear();
      return started;
    }
  }
  engineRuns_ = true;
  const LocalTime stamp = dependencies_.clock->Now();
  for (const std::size_t i : unresolved) {
    ProbeResult result;
    result.outcome = ProbeResult::Outcome::UnknownHost;
    RecordError(*targets_[i], result, stamp);
  }
  Progress();
  return {};
}

void Agent::RecordEcho(const icmp::ProbeResult& r) {
  if (stop_.load(std::memory_order_relaxed) || r.target >= engineTargets_.size()) return;
  Target& target = *targets_[engineTargets_[r.target]];
  LocalTime stamp = dependencies_.clock->Now();
  stamp.unixMs = r.sentUnixNs / 1'000'000;
  switch (r.outcome) {
    case icmp::Outcome::Reply:
      RecordProbe(target, r.rttNs / 1000, false, stamp);
      break;
    case icmp::Outcome::Lost:
      RecordProbe(target, std::nullopt, false, stamp);
      break;
    case icmp::Outcome::Late: {
      std::lock_guard<std::mutex> lock(target.mutex);
      target.figures.AddLate();
      return;
    }
    case icmp::Outcome::Duplicate: {
      std::lock_guard<std::mutex> lock(target.mutex);
      target.figures.AddDuplicate();
      return;
    }
    case icmp::Outcome::Error:
      if (r.error == icmp::ProbeError::IcmpUnreachable || r.error == icmp::ProbeError::IcmpTimeExceeded ||
          r.error == icmp::ProbeError::IcmpOther) {
        // The network answered instead of the target: lost, as ping counts it.
        RecordProbe(target, std::nullopt, false, stamp);
      } else {
        // Never sent: an error of the system's reason, as a child that
        // could not be made.
        {
          std::lock_guard<std::mutex> lock(target.mutex);
          target.figures.AddSendError();
        }
        ProbeResult failed;
        failed.outcome = ProbeResult::Outcome::Failed;
        failed.reason = r.systemError != 0 ? std::string(std::strerror(r.systemError)) : icmp::DescribeError(r);
        RecordError(target, failed, stamp);
      }
      break;
  }
  Progress();
}

bool Agent::Finished() const {
  if (engineRuns_) return stop_.load() || !engine_ || engine_->Finished();
  return running_.load() == 0;
}

EngineFigures Agent::Engine() const {
  EngineFigures f;
  if (!engineRuns_) {
    f.description = "a ping child per probe";
    return f;
  }
  f.engine = "icmp";
  if (!engine_) {
    f.socket = "none";
    f.timestamps = "none";
    f.description = "no target resolved";
    return f;
  }
  f = IcmpEngineFigures(engine_->Info());
  f.counters = engine_->Counters();
  return f;
}

EngineFigures IcmpEngineFigures(const icmp::EngineInfo& info) {
  EngineFigures f;
  f.engine = "icmp";
  f.socket.clear();
  for (const auto* s : {&info.v4, &info.v6}) {
    if (!*s) continue;
    const std::string kind = (*s)->kind == icmp::SocketKind::Raw ? "raw" : "datagram";
    if (f.socket.find(kind) == std::string::npos) f.socket += (f.socket.empty() ? "" : "+") + kind;
  }
  f.timestamps = icmp::StampSourceName(icmp::EngineStamps(info));
  f.description = icmp::DescribeEngine(info);
  return f;
}

void Agent::RequestStop() {
  // The engine itself is stopped by Wait: this may be called from its
  // loop thread (a row that could not be written), which must not stop it.
  stop_.store(true);
  for (const auto& target : targets_) {
    // Taken, so that a loop between its test of stop_ and its sleep cannot
    // miss the notification.
    { std::lock_guard<std::mutex> lock(target->wakeMutex); }
    target->wake.notify_all();
  }
}

void Agent::Wait() {
  if (engine_) {
    engine_->Stop();
    engine_->Wait();
  }
  for (std::thread& t : threads_) {
    if (t.joinable()) t.join();
  }
  threads_.clear();
}

void Agent::Progress() {
  if (dependencies_.onProgress) dependencies_.onProgress();
}

void Agent::Loop(Target& target, std::chrono::steady_clock::time_point base) {
  // Each probe watches the stop itself and ends its own child: a stop costs
  // every loop at most one step of its probe, all loops at once, and no
  // search for children.
  ProbeRequest request;
  request.target = target.name;
  request.timeoutMs = options_.timeoutMs;
  request.waitMs = ProbeWaitMs(options_.interval, options_.timeoutMs);
  request.family = options_.family;
  request.stopping = [this] { return stop_.load(std::memory_order_relaxed); };
  std::uint64_t slot = 0;
  std::uint64_t probes = 0;
  for (;;) {
    if (options_.count && probes >= *options_.count) break;
    {
      std::unique_lock<std::mutex> lock(target.wakeMutex);
      const auto due = base + options_.interval * static_cast<std::int64_t>(slot);
      if (target.wake.wait_until(lock, due, [this] { return stop_.load(); })) break;
    }
    const LocalTime stamp = dependencies_.clock->Now();
    const ProbeResult result = dependencies_.probe(request);
    // A probe ended by the stop is not a loss of the target's.
    if (stop_.load() || result.outcome == ProbeResult::Outcome::Cancelled ||
        (dependencies_.stopPending && dependencies_.stopPending())) {
      break;
    }
    const std::uint64_t next = NextSlot(slot, std::chrono::steady_clock::now() - base, options_.interval);
    if (next > slot + 1) {
      std::lock_guard<std::mutex> lock(target.mutex);
      target.figures.AddMissedSlots(next - slot - 1);
    }
    slot = next;
    Record(target, result, stamp);
    ++probes;  // an attempt that failed uses its slot too, so --count ends
    Progress();
  }
  running_.fetch_sub(1);
  Progress();
}

bool Agent::WriteToAll(const std::function<bool(RowOutput&)>& write) {
  bool ok = true;
  for (RowOutput* output : outputs_) {
    if (write(*output)) continue;
    ok = false;
    {
      std::lock_guard<std::mutex> lock(errorMutex_);
      if (writeError_.empty()) writeError_ = output->Error();
    }
    RequestStop();
  }
  return ok;
}

void Agent::Record(Target& target, const ProbeResult& result, const LocalTime& stamp) {
  if (result.outcome == ProbeResult::Outcome::Failed ||
      result.outcome == ProbeResult::Outcome::UnknownHost) {
    RecordError(target, result, stamp);
    return;
  }
  // The timeout is judged on the measured round trip: an answer the prober
  // read later (within its slack) still counts when it came in time.
  std::optional<std::int64_t> micros;
  if (result.IsReply() && result.RttMicros() <= std::int64_t{options_.timeoutMs} * 1000) {
    micros = result.RttMicros();
  }
  RecordProbe(target, micros, result.corrupted, stamp);
}

void Agent::RecordProbe(Target& target, std::optional<std::int64_t> micros, bool corrupted, const LocalTime& stamp) {
  std::vector<AlertEvent> events;
  {
    std::lock_guard<std::mutex> lock(target.mutex);
    if (corrupted) {
      target.figures.AddCorrupted(stamp.unixMs, stamp.utcOffsetSeconds);
    } else {
      target.figures.Add(micros, stamp.unixMs, stamp.utcOffsetSeconds);
    }
    if (target.alerts.RuleCount() > 0) {
      ProbeOutcome probe{stamp.unixMs, stamp.utcOffsetSeconds, std::nullopt};
      if (micros) probe.rtt = std::chrono::microseconds(*micros);
      events = target.alerts.Add(probe);
    }
  }
  // The whole milliseconds the window would plot: the time cut, or the
  // timeout for a lost probe.
  const auto plotted = micros ? static_cast<std::int32_t>(*micros / 1000) : options_.timeoutMs;
  const ExportRow row{stamp.unixMs, stamp.utcOffsetSeconds, micros, plotted};
  const auto giveUp = [this] { return stop_.load(); };
  WriteToAll([&](RowOutput& output) { return output.Write(row, target.name, giveUp); });
  for (const AlertEvent& event : events) {
    if (dependencies_.onAlert) dependencies_.onAlert(event);
    const std::string json = AlertJson(event);
    WriteToAll([&](RowOutput& output) { return output.WriteEvent(json, giveUp); });
  }
}

void Agent::RecordError(Target& target, const ProbeResult& result, const LocalTime& stamp) {
  const std::string reason = ProbeErrorReason(result);
  {
    std::lock_guard<std::mutex> lock(target.mutex);
    target.figures.AddError(reason);
  }
  if (dependencies_.complain) {
    const std::string line = errorLog_.Note(target.name, result, dependencies_.now());
    if (!line.empty()) dependencies_.complain(line);
  }
  const std::string json = "{\"target\":" + JsonString(target.name) + ",\"event\":\"error\",\"time\":" +
                           JsonString(FormatIsoLocal(stamp.unixMs, stamp.utcOffsetSeconds)) +
                           ",\"unix_ms\":" + std::to_string(stamp.unixMs) +
                           ",\"reason\":" + JsonString(reason) + "}\n";
  WriteToAll([&](RowOutput& output) { return output.WriteEvent(json, [this] { return stop_.load(); }); });
}

bool Agent::WriteSummaries() {
  std::string lines;
  for (const TargetSnapshot& s : Snapshot()) {
    std::string figures = StatisticsJson(s.summary, s.target);
    if (!figures.empty() && figures.back() == '\n') figures.pop_back();
    std::string errors = "{";
    for (const auto& [reason, count] : s.errors) {
      if (errors.size() > 1) errors += ',';
      errors += JsonString(reason) + ":" + std::to_string(count);
    }
    errors += '}';
    lines += "{\"target\":" + JsonString(s.target) + ",\"event\":\"summary\",\"corrupted\":" +
             std::to_string(s.corrupted) + ",\"missed_slots\":" + std::to_string(s.missedSlots) +
             ",\"errors\":" + errors + ",\"figures\":" + figures + "}\n";
  }
  // One write per output: the summaries stand together at the end.
  return WriteToAll([&](RowOutput& output) { return output.WriteEvent(lines); });
}

std::string Agent::WriteError() const {
  std::lock_guard<std::mutex> lock(errorMutex_);
  return writeError_;
}

std::vector<TargetSnapshot> Agent::Snapshot(bool withRecent) const {
  std::vector<TargetSnapshot> snapshots;
  snapshots.reserve(targets_.size());
  for (const auto& target : targets_) {
    std::lock_guard<std::mutex> lock(target->mutex);
    const TargetFigures& f = target->figures;
    TargetSnapshot s;
    s.target = target->name;
    s.summary = f.Summary();
    s.last = LastProbe{f.AnyProbe() || !f.LastError().empty(), f.LastMicros(), f.LastError()};
    s.corrupted = f.Corrupted();
    s.missedSlots = f.MissedSlots();
    s.errors = f.Errors();
    s.errorCount = f.ErrorCount();
    const auto unknown = s.errors.find(kUnknownHostReason);
    s.unknownHost = unknown == s.errors.end() ? 0 : unknown->second;
    if (withRecent) s.recent = f.Recent();
    const std::vector<ActiveAlert> active = target->alerts.Active();
    std::size_t next = 0;
    for (std::size_t i = 0; i < target->alerts.RuleCount(); ++i) {
      AlertState state;
      state.rule = target->alerts.RuleText(i);
      if (next < active.size() && active[next].ruleIndex == i) {
        const ActiveAlert& a = active[next++];
        state.active = true;
        state.sinceUnixMs = a.sinceUnixMs;
        state.description = a.figures.description;
      }
      s.alerts.push_back(std::move(state));
    }
    snapshots.push_back(std::move(s));
  }
  return snapshots;
}

std::vector<TargetMetrics> Agent::Metrics() const {
  std::vector<TargetMetrics> metrics;
  metrics.reserve(targets_.size());
  for (const auto& target : targets_) {
    std::lock_guard<std::mutex> lock(target->mutex);
    TargetMetrics m = target->figures.Metrics();
    // The engine's slots it was too late for are counted over every target
    // (quorvel_icmp_skipped_slots_total), so a target's own stay 0.
    m.missedSlots = target->figures.MissedSlots();
    if (engineRuns_) {
      m.engine = TargetMetrics::EngineCounts{target->figures.Late(), target->figures.Duplicates(),
                                             target->figures.SendErrors()};
    }
    for (std::size_t i = 0; i < target->alerts.RuleCount(); ++i) {
      m.alerts.emplace_back(target->alerts.RuleText(i), target->alerts.IsActive(i));
    }
    metrics.push_back(std::move(m));
  }
  return metrics;
}

}  // namespace quorvel
