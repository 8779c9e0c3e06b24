#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "alert/alertengine.h"
#include "base/status.h"
#include "graph/appearance.h"
#include "graph/axiswindow.h"
#include "graph/chartmodel.h"
#include "graph/seriesstatistics.h"
#include "graph/verticallimits.h"
#include "probe/proberesult.h"
#include "run/addresshistory.h"
#include "run/pinglog.h"
#include "run/runsettings.h"
#include "run/sample.h"
#include "run/timeformat.h"
#include "stats/prometheus.h"

namespace quorvel {

// The run counters. Every tick that gets past the host-not-found test counts
// toward the page limit (pageTicks), the window step and "ignore first ping"
// (windowTicks), and the page capture (captureTicks). Stop resets none of
// them; Start resets only pageTicks.
struct RunCounters {
  std::int32_t pageTicks = 0;
  std::int32_t windowTicks = 0;
  std::int32_t captureTicks = 0;
  bool hostNotFound = false;
};

// The state of the run as the window shows it.
struct RunState {
  bool timerArmed = false;
  bool startDown = false;  // btnStart down; false puts btnStop down
  bool addressEnabled = true;
  bool stoppedShown = false;  // "STOPPED"
  friend bool operator==(const RunState&, const RunState&) = default;

  // Which parts a change sets; the others are left as the window has them
  // (a loaded setting may have put Start down before any run).
  enum Part : unsigned { kTimer = 1, kButtons = 2, kAddress = 4, kStopped = 8 };
};

// How the owner shows a notice: a plain message box, the general error box,
// or a line in the status bar that waits for nobody.
enum class NoticeKind { Message, Error, StatusBar };

// What the session tells its owner. All calls come on the session's thread,
// from inside Start, Stop, Tick and the other commands.
class PlotSessionListener {
 public:
  virtual ~PlotSessionListener() = default;
  // The response box: emptied before each probe, then the probe's text.
  virtual void ResponseChanged(const std::string& text) = 0;
  // The reply line of the latest probe, for the status bar.
  virtual void ReplyLineShown(const std::string& line) = 0;
  // The chart (points, windows, look, figures) has changed: redraw, and
  // whatever was made of it is stale.
  virtual void ChartChanged() = 0;
  // The statistics step gave the graph menu its captions.
  virtual void CaptionsChanged(const StatisticsCaptions& captions) = 0;
  // The parts `changed` (RunState::Part bits) of the state are set.
  virtual void RunStateChanged(const RunState& state, unsigned changed) = 0;
  // Start has begun: the Graph page comes to the front.
  virtual void Starting() = 0;
  // The first status panel ("Plot Started: Mon 07 Dec").
  virtual void StartedPanelChanged(const std::string& text) = 0;
  // A notice: an error raised in a command (the general error box), a plain
  // message ("Unable to find host ..."), or, for a failure already shown
  // once or a probe that could not be made, a status-bar line.
  virtual void Notify(const std::string& text, NoticeKind kind) = 0;
  // A line for standard error, with the program's prefix and its line end.
  virtual void ErrorLine(const std::string& line) { (void)line; }
  // The page capture the tick asks for; its error, if any.
  virtual Status CapturePage() = 0;
  // Start added an address to the history at `position`.
  virtual void HistoryInserted(std::size_t position, const std::string& entry) = 0;
  // Alerts were raised or cleared (`events`, in order; empty when a new run
  // or a new set of rules dropped the active ones), and `active` are those
  // raised now. Only while alert rules are set.
  virtual void AlertsChanged(const std::vector<AlertEvent>& events,
                             const std::vector<ActiveAlert>& active) {
    (void)events;
    (void)active;
  }
};

// Runs one probe for the command line "ping ADDRESS -w TIMEOUT -n 1" and
// returns what it came to; its text is the response text. A probe that the
// owner cuts short (the window closing) is Cancelled.
using CommandProbe = std::function<ProbeResult(const std::string& commandLine)>;

// The plot run of one target and everything it knows, without widgets: the
// three series and the time window (ChartModel), the run counters and the
// tick, the target's figures, the vertical limits, the ping log step, the
// address history, and the alert rules checked at every point.
//
// A probe that could not be made at all (Failed: the system refused the
// pipes or the process) is drawn as the empty reply it leaves (a lost ping at
// the timeout, the counters advancing as for any tick), but the figures, the
// JSON, the exposition and the export count it as an error of its reason,
// neither sent nor lost; its reason goes to the status bar and to standard
// error once per run of such probes, again only after a probe was made. A
// reply whose payload came back spoilt (`corrupted`) is drawn as its reply
// line says and counted as lost and spoilt.
//
// A ping log that cannot be written is shown in the error box once; later
// failures go to the status bar until a line is written or the log settings
// change, so that a box per ping never locks the window.
//
// It reads `settings` and `look` at the moment each step needs a value, so
// the owner keeps them up to date (a change made while a probe runs takes
// effect at once). `clock`, `settings`, `look`, `listener` and `logFiles`
// must outlive it. One thread (the window's); only Published() may be
// called from others.
//
// One tick at a time: a tick falling due while a probe or a capture runs
// (events are handled meanwhile) is dropped, and a Start pressed then runs
// as soon as the tick is over.
class PlotSession {
 public:
  PlotSession(const LocalClock& clock, const RunSettings& settings, const GraphAppearance& look,
              CommandProbe probe, PlotSessionListener& listener, FileAppender& logFiles);

  // Start, Stop and the timer's tick.
  void Start();
  void Stop();
  void Tick();
  // Clear: the series, the figures' run statistics, the window and two
  // counters start again.
  void Clear();

  // The interval changed: the ping timeout follows (the period minus 200 ms,
  // at most 3000).
  void IntervalChanged();
  std::int32_t PingTimeout() const { return pingTimeout_; }

  // The alert rules checked at every point, for the address measured (none:
  // no alerts). A new set starts afresh: the active alerts are dropped, as
  // they are at every Start, without a cleared event. Each raised or cleared
  // alert leaves a mark on the chart at its point.
  void SetAlertRules(std::vector<AlertRule> rules);
  const std::vector<AlertRule>& AlertRules() const { return alertRules_; }
  std::vector<ActiveAlert> ActiveAlerts() const;

  // The captions of the graph menu, as it opens.
  StatisticsCaptions Captions() const;
  // A vertical limit box was left.
  LimitCheckResult LeaveLimitBox(LimitBox box, int max, int min);
  VerticalLimits& Limits() { return limits_; }
  // A pan step ended: the windows snap back as needed; the answer is which
  // directions the next step may pan.
  PanDirections AfterPan(int verticalMax, int pointsPerPage);
  // The separators of the captions (the desktop's).
  void SetNumberFormat(const NumberFormat& format) { numberFormat_ = format; }

  // The chart. Whoever changes it calls ChartEdited.
  const ChartModel& Chart() const { return chart_; }
  ChartModel& Chart() { return chart_; }
  void ChartEdited();

  const RunCounters& Counters() const { return counters_; }
  const RunState& State() const { return state_; }
  AddressHistory& History() { return history_; }
  const AddressHistory& History() const { return history_; }
  const std::string& ResponseText() const { return response_; }
  bool TickRunning() const { return tickRunning_; }

  // The figures as the web server's request threads read them: the JSON of
  // the run statistics and the exposition's counters, as of the last change.
  struct PublishedFigures {
    // The figures as one JSON object, after those of StatisticsJson the
    // run's "corrupted" replies and its "errors" by reason (probes that
    // could not be made, {"Too many open files":3}); with alert rules set,
    // it ends with "alerts", the active alerts.
    std::string json;
    std::optional<TargetMetrics> metrics;  // none before the first probe or error
    std::string address;
    StatisticsSummary summary;
    bool alertsOn = false;  // alert rules are set
    std::vector<ActiveAlert> alerts;
  };
  PublishedFigures Published() const;

  // The target's part of /metrics for `figures`: the exposition of its
  // replies, then its spoilt replies and its probe errors by reason.
  static std::string MetricsText(const PublishedFigures& figures);

 private:
  void StartOnce();
  void TickSteps();
  void SetState(const RunState& state, unsigned changed);
  void StopRun();
  void AddPoint(const Sample& sample, const ProbeResult& result);
  void NoteFailure(const ProbeResult& result);
  void PageReset();
  void Publish();
  void LogStepOnce(const std::string& sampleText, double comparison,
                   const std::string& captureError);
  // The alerts start again (a new run, other rules or another address).
  void RestartAlerts();
  void CheckAlerts(const LocalTime& now, const std::optional<std::int64_t>& micros);

  const LocalClock& clock_;
  const RunSettings& settings_;
  const GraphAppearance& look_;
  CommandProbe probe_;
  PlotSessionListener& listener_;
  FileAppender& logFiles_;

  ChartModel chart_;
  RunCounters counters_;
  RunState state_;
  VerticalLimits limits_;
  AddressHistory history_;
  NumberFormat numberFormat_;
  std::int32_t pingTimeout_ = 3000;
  std::string response_;
  bool tickRunning_ = false;
  bool startPending_ = false;
  bool cancelled_ = false;  // the probe of this tick was cut short
  bool failureShown_ = false;  // in a run of probes that could not be made, told
  // The log settings of a failure shown in its box, while no line has been
  // written since.
  std::optional<LogSettings> logFailureShown_;

  std::vector<AlertRule> alertRules_;
  std::optional<AlertEngine> alerts_;  // while rules are set

  mutable std::mutex publishedMutex_;
  PublishedFigures published_;
};

}  // namespace quorvel
