#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "agent/agentoptions.h"
#include "agent/probeerrorlog.h"
#include "agent/report.h"
#include "agent/rowoutput.h"
#include "agent/targetaddress.h"
#include "alert/alertengine.h"
#include "icmp/engine.h"
#include "stats/targetfigures.h"
#include "probe/proberesult.h"
#include "run/timeformat.h"

namespace quorvel {

// What one probe of one target is asked for.
struct ProbeRequest {
  std::string target;
  // The longest round trip that counts as a reply. The agent judges it on
  // the time the prober measured (from its own send), so a prober returns
  // a later answer as a reply with its time, and the agent counts it lost.
  int timeoutMs = 0;
  // How long the prober may wait for the answer (at least timeoutMs): the
  // slack beyond the timeout lets an answer that came in time be read by a
  // prober that a busy CPU held up.
  int waitMs = 0;
  int family = 0;  // 4 or 6: that address family only; 0: either
  // Asked at least every 100 ms while the probe waits; true once the agent
  // is stopping: the probe must then end at once (its result is dropped).
  std::function<bool()> stopping;
};

// One probe of one target, by any engine (the ping child, or one of our
// own): it returns how the probe ended. Called on the target's own thread,
// one probe at a time per target, many targets at once.
using Prober = std::function<ProbeResult(const ProbeRequest& request)>;

// The probe the window makes, for one target: one echo by the iputils child
// (PingChild), without a shell, the target one operand after "--", ping
// waiting `waitMs`. The child is killed as soon as `stopping` says yes.
ProbeResult PingOnce(const ProbeRequest& request);

// The index of the slot to probe next when the probe of slot `done` has
// ended at `elapsed` (measured from slot 0): the next slot, or, when the probe
// overran it, the first slot that has not yet begun. The slots in between
// are missed (and counted so by the agent).
std::uint64_t NextSlot(std::uint64_t done, std::chrono::steady_clock::duration elapsed,
                       std::chrono::milliseconds interval);

// What the agent is given from outside, so that tests and benchmarks can
// replace the child and the clock.
struct AgentDependencies {
  Prober probe = PingOnce;
  std::shared_ptr<const LocalClock> clock = std::make_shared<SystemLocalClock>();
  // Called on a probe thread after every recorded probe and when a loop ends.
  std::function<void()> onProgress;
  // Optional: whether a stop is on its way but not yet requested, asked when
  // a probe ends. On a terminal, Ctrl-C reaches the ping child together with
  // the agent; the child then ends as if its echo had been lost, and the
  // agent may see that before it has read the signal. Such a probe is
  // dropped like one the stop ended.
  std::function<bool()> stopPending;
  // Optional: takes a line for standard error (with its line end), about a
  // probe that could not be made. Called on probe threads, rate-limited
  // (ProbeErrorLog), possibly several at once.
  std::function<void(const std::string& line)> complain;
  // Optional: takes every alert event (raised, cleared) of the --alert
  // rules, in the order of the probes of its target. Called on probe
  // threads, possibly several at once; it must not wait.
  std::function<void(const AlertEvent& event)> onAlert;
  // The time for the rate limit of those lines.
  std::function<std::chrono::steady_clock::time_point()> now = [] { return std::chrono::steady_clock::now(); };
  // The ICMP engine's sockets and clock (--engine auto or icmp).
  icmp::EngineDependencies engine;
  // A target as the ICMP engine probes it; none when its name does not resolve.
  TargetResolver resolve = ResolveTarget;
};

// The exit status when --engine icmp was asked for and no ICMP socket opens
// (and when an interval below the ping child's 0.2 s cannot fall back).
inline constexpr int kExitNoIcmpSocket = 6;

// Which engine ran, for the report and the metrics.
struct EngineFigures {
  std::string engine = "ping";        // "icmp" or "ping"
  std::string socket = "child";       // "datagram", "raw", "datagram+raw" (IPv4+IPv6), or "child"
  std::string timestamps = "ping";    // StampSourceName of the sockets, or "ping"
  std::string description;            // DescribeEngine, or the ping child's line
  std::optional<icmp::EchoCounters> counters;  // the ICMP engine's, over every target
};

// The figures of an ICMP engine with those sockets (no counters).
EngineFigures IcmpEngineFigures(const icmp::EngineInfo& info);

// "engine: icmp (IPv4 datagram socket; kernel timestamps)": the report's last line.
std::string EngineLine(const EngineFigures& figures);

// The probe loops of every target: one thread per target, all at the same
// interval, the start of target i put off by i / n of an interval so that
// the probes of many targets do not all start at once. A loop probes at its
// slots start + k x interval; a probe that overruns its interval (a target
// that hangs until its kill bound, or a CPU too busy) makes that loop skip
// the slots it missed, which are counted, and never delays another loop.
//
// After each probe its target's figures are updated: a reply within the
// timeout, a loss (no answer, an answer after the timeout, a spoilt one), or
// an error for a probe that could not be made at all (the system's reason,
// or a name that does not resolve), which is neither sent nor lost and
// goes to `complain` once per reason (per target for a name). Its row is
// written to each output, stamped with the wall-clock time at which the
// probe began; an error is a JSON line of its own. A row that cannot be
// written stops every loop. With alert rules, every target has an
// AlertEngine fed each probe that was made (not the errors); its events go
// to `onAlert` and, as JSON lines of their own, after the probe's row.
//
// With the ICMP engine (--engine auto or icmp) the same is done without a
// thread per target: every name is resolved first (one that does not is an
// error of reason "unknown host", once), then one EchoEngine probes every
// target from its one loop thread and each of its results is recorded as
// above on that thread; late and duplicate replies and send errors are
// counted per target. Where no ICMP socket opens, auto falls back to the
// ping child, saying so through `complain` with both remedies; icmp fails.
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
  // The same; on failure `status` is the exit status it calls for (2, or
  // kExitNoIcmpSocket).
  bool Start(std::string& error, int& status);
  // Wakes sleeping loops and tells running probes to end; each loop ends
  // without recording the probe it was making. Safe to call twice.
  void RequestStop();
  // Joins every loop.
  void Wait();

  // Whether every loop has ended (its count reached, or stopped). With the
  // ICMP engine: its count reached, or a stop requested (Wait ends it).
  bool Finished() const;
  bool StopRequested() const { return stop_.load(); }
  // The first row that could not be written, or empty.
  std::string WriteError() const;

  std::vector<TargetSnapshot> Snapshot(bool withRecent = false) const;
  std::vector<TargetMetrics> Metrics() const;
  // Which engine runs, once started.
  EngineFigures Engine() const;
  // One JSON line per target with its closing figures, for the JSON outputs.
  // Written by the caller once the loops have ended.
  bool WriteSummaries();

 private:
  struct Target;

  void Loop(Target& target, std::chrono::steady_clock::time_point base);
  bool StartThreads(std::string& error);
  icmp::EngineStatus StartEngine();
  void RecordEcho(const icmp::ProbeResult& result);
  void Record(Target& target, const ProbeResult& result, const LocalTime& stamp);
  void RecordProbe(Target& target, std::optional<std::int64_t> micros, bool corrupted, const LocalTime& stamp);
  void RecordError(Target& target, const ProbeResult& result, const LocalTime& stamp);
  bool WriteToAll(const std::function<bool(RowOutput&)>& write);
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
  ProbeErrorLog errorLog_;
  // The ICMP engine, when it runs: engineTargets_[i] is the agent's index
  // of the engine's target i.
  std::unique_ptr<icmp::EchoEngine> engine_;
  bool engineRuns_ = false;  // set by Start, read-only after
  std::vector<std::size_t> engineTargets_;
};

}  // namespace quorvel
