#include "agent/agent.h"

#include <algorithm>
#include <condition_variable>
#include <system_error>

#include "probe/pingchild.h"

namespace quorvel {

ProbeResult PingOnce(const std::string& target, int timeoutMs, const std::function<void()>& onStep) {
  PingChildOptions options;
  options.onStep = onStep;
  return PingChild(PingCommand{target, timeoutMs}, options);
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
  explicit Target(std::string targetName) : name(std::move(targetName)), figures(name) {}
  const std::string name;
  // Each loop sleeps on its own, so that loops share nothing but the outputs.
  std::mutex wakeMutex;
  std::condition_variable wake;
  mutable std::mutex mutex;  // guards the figures below
  TargetFigures figures;
};

Agent::Agent(AgentOptions options, AgentDependencies dependencies, std::vector<RowOutput*> outputs)
    : options_(std::move(options)), dependencies_(std::move(dependencies)), outputs_(std::move(outputs)) {
  for (const std::string& name : options_.targets) targets_.push_back(std::make_unique<Target>(name));
}

Agent::~Agent() {
  RequestStop();
  Wait();
}

bool Agent::Start(std::string& error) {
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

void Agent::RequestStop() {
  stop_.store(true);
  for (const auto& target : targets_) {
    // Taken, so that a loop between its test of stop_ and its sleep cannot
    // miss the notification.
    { std::lock_guard<std::mutex> lock(target->wakeMutex); }
    target->wake.notify_all();
  }
}

void Agent::Wait() {
  for (std::thread& t : threads_) {
    if (t.joinable()) t.join();
  }
  threads_.clear();
}

void Agent::Progress() {
  if (dependencies_.onProgress) dependencies_.onProgress();
}

void Agent::Loop(Target& target, std::chrono::steady_clock::time_point base) {
  const std::function<void()> onStep = [this] {
    if (stop_.load() && dependencies_.stopChildren) dependencies_.stopChildren();
  };
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
    const ProbeResult result = dependencies_.probe(target.name, options_.timeoutMs, onStep);
    // A probe ended by the stop is not a loss of the target's.
    if (stop_.load() || (dependencies_.stopPending && dependencies_.stopPending())) break;
    Record(target, result, stamp);
    ++probes;
    Progress();
    slot = NextSlot(slot, std::chrono::steady_clock::now() - base, options_.interval);
  }
  running_.fetch_sub(1);
  Progress();
}

void Agent::Record(Target& target, const ProbeResult& result, const LocalTime& stamp) {
  std::optional<std::int64_t> micros;
  if (result.IsReply()) micros = result.RttMicros();
  {
    std::lock_guard<std::mutex> lock(target.mutex);
    target.figures.Add(micros, stamp.unixMs, stamp.utcOffsetSeconds);
  }
  // The whole milliseconds the window would plot: the time cut, or the
  // timeout for a lost probe.
  const auto plotted = micros ? static_cast<std::int32_t>(*micros / 1000) : options_.timeoutMs;
  const ExportRow row{stamp.unixMs, stamp.utcOffsetSeconds, micros, plotted};
  for (RowOutput* output : outputs_) {
    if (output->Write(row, target.name, [this] { return stop_.load(); })) continue;
    {
      std::lock_guard<std::mutex> lock(errorMutex_);
      if (writeError_.empty()) writeError_ = output->Error();
    }
    RequestStop();
  }
}

std::string Agent::WriteError() const {
  std::lock_guard<std::mutex> lock(errorMutex_);
  return writeError_;
}

std::vector<TargetSnapshot> Agent::Snapshot() const {
  std::vector<TargetSnapshot> snapshots;
  snapshots.reserve(targets_.size());
  for (const auto& target : targets_) {
    std::lock_guard<std::mutex> lock(target->mutex);
    const TargetFigures& f = target->figures;
    snapshots.push_back({target->name, f.Summary(), LastProbe{f.AnyProbe(), f.LastMicros()}});
  }
  return snapshots;
}

std::vector<TargetMetrics> Agent::Metrics() const {
  std::vector<TargetMetrics> metrics;
  metrics.reserve(targets_.size());
  for (const auto& target : targets_) {
    std::lock_guard<std::mutex> lock(target->mutex);
    metrics.push_back(target->figures.Metrics());
  }
  return metrics;
}

}  // namespace quorvel
