#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "agent/agentoptions.h"
#include "agent/report.h"
#include "agent/rowoutput.h"
#include "stats/targetfigures.h"
#include "probe/proberesult.h"
#include "run/timeformat.h"

namespace quorvel {

// One probe of `target`. While it waits it must call `onStep` at least every
// 100 ms; once the agent is stopping, `onStep` kills the children, and the
// probe must then return soon (its result is dropped).
using Prober = std::function<ProbeResult(const std::string& target, int timeoutMs,
                                         const std::function<void()>& onStep)>;

// The probe the window makes, for one target: one echo by the iputils child
// (PingChild), without a shell, the target one operand after "--".
ProbeResult PingOnce(const std::string& target, int timeoutMs, const std::function<void()>& onStep);

// The index of the slot to probe next when the probe of slot `done` has
// ended at `elapsed` (measured from slot 0): the next slot, or, when the probe
// overran it, the first slot that has not yet begun. Missed slots are not
// probed and not counted.
std::uint64_t NextSlot(std::uint64_t done, std::chrono::steady_clock::duration elapsed,
                       std::chrono::milliseconds interval);

// What the agent knows of one target at a moment.
struct TargetSnapshot {
  std::string target;
  StatisticsSummary summary;
  LastProbe last;
};

// What the agent is given from outside, so that tests and benchmarks can
// replace the child and the clock.
struct AgentDependencies {
  Prober probe = PingOnce;
  std::shared_ptr<const LocalClock> clock = std::make_shared<SystemLocalClock>();
  // Kills the probe children once the agent is stopping; called from probe
  // threads, possibly several at once.
  std::function<void()> stopChildren;
  // Called on a probe thread after every recorded probe and when a loop ends.
  std::function<void()> onProgress;
  // Optional: whether a stop is on its way but not yet requested, asked when
  // a probe ends. On a terminal, Ctrl-C reaches the ping child together with
  // the agent; the child then ends as if its echo had been lost, and the
  // agent may see that before it has read the signal. Such a probe is
  // dropped like one the stop ended.
  std::function<bool()> stopPending;
};

// The probe loops of every target: one thread per target, all at the same
// interval, the start of target i put off by i / n of an interval so that
// the probes of many targets do not all start at once. A loop probes at its
// slots start + k x interval; a probe that overruns its interval (a target
// that hangs until its kill bound) makes that loop skip the slots it missed,
// and never delays another loop. After each probe, the statistics and reply
// durations of its target are updated and its row is written to each output,
// stamped with the wall-clock time at which the probe began. A row that cannot
// be written stops every loop.
//
// Thread: Start, RequestStop, Wait and the destructor on one thread;
// Snapshot, Finished and RequestStop from any thread. The outputs must
// outlive the agent.
class Agent {
 public:
  Agent(AgentOptions options, AgentDependencies dependencies, std::vector<RowOutput*> outputs);
  ~Agent();
  Agent(const Agent&) = delete;
  Agent& operator=(const Agent&) = delete;

  // Starts the loops. False with `error` set when a thread cannot be started;
  // the loops already started are then stopped and joined.
  bool Start(std::string& error);
  // Wakes sleeping loops and lets running probes kill their children; each
  // loop ends without recording the probe it was making. Safe to call twice.
  void RequestStop();
  // Joins every loop.
  void Wait();

  // Whether every loop has ended (its count reached, or stopped).
  bool Finished() const { return running_.load() == 0; }
  bool StopRequested() const { return stop_.load(); }
  // The first row that could not be written, or empty.
  std::string WriteError() const;

  std::vector<TargetSnapshot> Snapshot() const;
  std::vector<TargetMetrics> Metrics() const;

 private:
  struct Target;

  void Loop(Target& target, std::chrono::steady_clock::time_point base);
  void Record(Target& target, const ProbeResult& result, const LocalTime& stamp);
  void Progress();

  AgentOptions options_;
  AgentDependencies dependencies_;
  std::vector<RowOutput*> outputs_;
  std::vector<std::unique_ptr<Target>> targets_;
  std::vector<std::thread> threads_;
  std::atomic<bool> stop_{false};
  std::atomic<int> running_{0};
  mutable std::mutex errorMutex_;
  std::string writeError_;
};

}  // namespace quorvel
