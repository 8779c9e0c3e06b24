#include "run/plotsession.h"

#include <exception>
#include <utility>

#include "probe/pingprobe.h"
#include "run/sample.h"
#include "run/sessionalerts.h"
#include "run/usererror.h"
#include "stats/runstatistics.h"
#include "stats/targetfigures.h"

namespace quorvel {

namespace {

// Thrown out of a tick whose probe was cut short: the tick ends there, and
// nothing is told.
struct ProbeCancelled {};

bool Failed(const ProbeResult& result) { return result.outcome == ProbeResult::Outcome::Failed; }

// The reason a failed probe is counted under: the prober's, or "failed".
std::string FailureReason(const ProbeResult& result) {
  return result.reason.empty() ? std::string("failed") : result.reason;
}

// The run's spoilt replies and errors by reason, as JSON members.
std::string AccountingMembers(const TargetFigures& figures) {
  std::string members = ",\"corrupted\":" + std::to_string(figures.RunCorrupted()) + ",\"errors\":{";
  bool first = true;
  for (const auto& [reason, count] : figures.RunErrors()) {
    if (!first) members += ',';
    first = false;
    members += JsonString(reason) + ":" + std::to_string(count);
  }
  return members + "}";
}

}  // namespace

PlotSession::PlotSession(const LocalClock& clock, const RunSettings& settings,
                         const GraphAppearance& look, CommandProbe probe,
                         PlotSessionListener& listener, FileAppender& logFiles)
    : clock_(clock),
      settings_(settings),
      look_(look),
      probe_(std::move(probe)),
      listener_(listener),
      logFiles_(logFiles) {
  Publish();
}

template <typename Body>
static void Guarded(PlotSessionListener& listener, Body body) {
  try {
    body();
  } catch (const ProbeCancelled&) {
    // The owner is closing: nothing to tell.
  } catch (const std::exception& e) {
    listener.Notify(e.what(), NoticeKind::Error);
  }
}

void PlotSession::Start() {
  if (tickRunning_) {
    // Start's immediate tick cannot run inside the tick in progress: it runs
    // as soon as that tick is over.
    startPending_ = true;
    return;
  }
  // Start's own probe is a tick in progress like any other: a tick falling
  // due meanwhile is dropped, a Start pressed meanwhile runs after it.
  do {
    startPending_ = false;
    tickRunning_ = true;
    Guarded(listener_, [this] { StartOnce(); });
    tickRunning_ = false;
  } while (startPending_);
}

void PlotSession::Stop() {
  startPending_ = false;
  StopRun();
}

void PlotSession::Tick() {
  if (tickRunning_) return;  // a tick falling due during a probe is dropped
  tickRunning_ = true;
  Guarded(listener_, [this] { TickSteps(); });
  tickRunning_ = false;
  if (startPending_) Start();
}

void PlotSession::SetState(const RunState& state, unsigned changed) {
  state_ = state;
  listener_.RunStateChanged(state_, changed);
}

void PlotSession::StopRun() {
  RunState state = state_;
  state.timerArmed = false;
  state.startDown = false;
  state.addressEnabled = true;
  SetState(state, RunState::kTimer | RunState::kButtons | RunState::kAddress);
}

void PlotSession::StartOnce() {
  listener_.Starting();
  RestartAlerts();
  RunState state = state_;
  state.stoppedShown = false;
  SetState(state, RunState::kStopped);
  TickSteps();

  const std::string address = settings_.address;
  if (ContainsHostNotFound(response_)) {
    counters_.hostNotFound = true;
    listener_.Notify("Unable to find host " + address, NoticeKind::Message);
    StopRun();
    return;
  }
  if (const std::optional<std::size_t> position = history_.AddOnStart(address)) {
    listener_.HistoryInserted(*position, address);
  }
  counters_.hostNotFound = false;
  counters_.pageTicks = 0;
  state = state_;
  state.addressEnabled = false;
  state.timerArmed = true;
  state.startDown = true;
  SetState(state, RunState::kAddress | RunState::kTimer | RunState::kButtons);
  listener_.StartedPanelChanged("Plot Started: " + FormatDayDate(clock_.Now()));
}

void PlotSession::TickSteps() {
  response_.clear();
  listener_.ResponseChanged(response_);
  const ProbeResult result = probe_(BuildPingCommandLine(settings_.address, pingTimeout_));
  if (result.outcome == ProbeResult::Outcome::Cancelled) throw ProbeCancelled();
  response_ += result.text;
  listener_.ResponseChanged(response_);
  if (counters_.hostNotFound) return;

  const std::string reply = ReplyLine(response_);
  listener_.ReplyLineShown(reply);
  const Sample sample = ParsePingReply(reply, pingTimeout_, look_.plot);
  // Told even when the point is ignored: the user learns why at once.
  NoteFailure(result);

  ++counters_.windowTicks;
  ++counters_.captureTicks;
  ++counters_.pageTicks;
  if (counters_.windowTicks == 1 && settings_.ignoreFirst) return;

  AddPoint(sample, result);

  // Both values read now: a change made during the probe counts.
  const int pages = settings_.pages;
  const int points = settings_.pointsPerPage;
  if (pages > 0 &&
      static_cast<long long>(counters_.pageTicks) > static_cast<long long>(pages) * points) {
    if (settings_.stopAtLimit) {
      counters_.pageTicks = 0;
      StopRun();
      RunState state = state_;
      state.stoppedShown = true;
      SetState(state, RunState::kStopped);
    } else if (settings_.restartAtLimit) {
      counters_.pageTicks = 0;
      counters_.windowTicks = 0;
      PageReset();
    }
  }

  // A failed page capture does not end the tick: its error is told once the
  // tick's other steps are done, so the average point and the log line of
  // this tick are not lost.
  std::string captureError;
  if (counters_.captureTicks >= settings_.pointsPerPage && settings_.capture &&
      logFiles_.DirectoryExists(settings_.captureFolder)) {
    const Status captured = listener_.CapturePage();
    if (captured) {
      counters_.captureTicks = 0;
    } else {
      captureError = captured.message();
    }
  }

  WindowStep(chart_.bottom, counters_.windowTicks, chart_.data.PingCount());
  ChartEdited();

  chart_.averageShown = look_.plotAverage;
  const StatisticsStepResult step =
      StatisticsStep(chart_.data, sample.value, settings_.logComparesAverage, look_.average,
                     clock_.Now().SecondsOfDay(), numberFormat_);
  listener_.CaptionsChanged(step.captions);
  ChartEdited();

  LogStepOnce(sample.text, step.comparison, captureError);
  if (!captureError.empty()) throw UserError(captureError);
}

static bool SameLogSettings(const LogSettings& a, const LogSettings& b) {
  return a.mode.noLog == b.mode.noLog && a.mode.allLog == b.mode.allLog &&
         a.mode.onlyLog == b.mode.onlyLog && a.threshold == b.threshold && a.fileName == b.fileName;
}

void PlotSession::LogStepOnce(const std::string& sampleText, double comparison,
                              const std::string& captureError) {
  try {
    if (LogStep(settings_.log, sampleText, comparison, clock_, logFiles_)) logFailureShown_.reset();
  } catch (const std::exception& e) {
    const bool shownBefore =
        logFailureShown_ && SameLogSettings(*logFailureShown_, settings_.log);
    if (shownBefore) {
      listener_.Notify("Log file not written: " + std::string(e.what()), NoticeKind::StatusBar);
      return;
    }
    logFailureShown_ = settings_.log;
    if (captureError.empty()) throw;
    throw UserError(captureError + "\n" + e.what());
  }
}

void PlotSession::NoteFailure(const ProbeResult& result) {
  if (!Failed(result)) {
    failureShown_ = false;
    return;
  }
  if (failureShown_) return;
  failureShown_ = true;
  const std::string reason = FailureReason(result);
  listener_.Notify("Ping could not be run: " + reason, NoticeKind::StatusBar);
  listener_.ErrorLine("quorvel: " + settings_.address + ": a ping could not be run (" + reason +
                      "); such pings are counted as errors, not as lost\n");
}

void PlotSession::AddPoint(const Sample& sample, const ProbeResult& result) {
  const LocalTime now = clock_.Now();
  const PointStamp stamp{now.SecondsOfDay(), now.unixMs, now.utcOffsetSeconds};
  // The point is drawn as its response text says; the figures count what
  // happened to the probe.
  if (Failed(result)) {
    chart_.data.AddFailedPing(sample.value, sample.colour, stamp);
  } else {
    chart_.data.AddPing(sample.value, sample.colour, stamp, sample.micros);
  }
  // The counters of /metrics start again when another address is measured.
  chart_.figures.SetHost(settings_.address);
  if (Failed(result)) {
    // No probe was made: nothing for the alert rules either.
    chart_.figures.AddError(FailureReason(result));
  } else if (result.corrupted) {
    chart_.figures.AddCorrupted(now.unixMs, now.utcOffsetSeconds);
    CheckAlerts(now, std::nullopt);
  } else {
    chart_.figures.Add(sample.micros, now.unixMs, now.utcOffsetSeconds);
    CheckAlerts(now, sample.micros);
  }
  Publish();
  ChartEdited();
}

void PlotSession::SetAlertRules(std::vector<AlertRule> rules) {
  alertRules_ = std::move(rules);
  RestartAlerts();
  Publish();
}

std::vector<ActiveAlert> PlotSession::ActiveAlerts() const {
  return alerts_ ? alerts_->Active() : std::vector<ActiveAlert>{};
}

void PlotSession::RestartAlerts() {
  const bool wereActive = alerts_ && !alerts_->Active().empty();
  alerts_.reset();
  if (!alertRules_.empty()) alerts_.emplace(settings_.address, alertRules_);
  if (wereActive) listener_.AlertsChanged({}, {});
}

void PlotSession::CheckAlerts(const LocalTime& now, const std::optional<std::int64_t>& micros) {
  if (!alerts_) return;
  if (alerts_->Target() != settings_.address) RestartAlerts();
  ProbeOutcome probe;
  probe.unixMs = now.unixMs;
  probe.utcOffsetSeconds = now.utcOffsetSeconds;
  if (micros) probe.rtt = std::chrono::microseconds(*micros);
  const std::vector<AlertEvent> events = alerts_->Add(probe);
  if (events.empty()) return;
  const std::size_t point = chart_.data.PingCount() - 1;
  for (const AlertEvent& event : events) {
    chart_.alertMarks.push_back({point, event.type == AlertEvent::Type::Raised});
  }
  listener_.AlertsChanged(events, alerts_->Active());
}

void PlotSession::PageReset() {
  chart_.data.Clear();
  std::vector<AlertMark>().swap(chart_.alertMarks);
  chart_.figures.ClearRun();
  Publish();
  ResetWindow(chart_.bottom, settings_.pointsPerPage);
  ChartEdited();
}

void PlotSession::Clear() {
  counters_.windowTicks = 0;
  counters_.captureTicks = 0;
  PageReset();
}

void PlotSession::IntervalChanged() { pingTimeout_ = PingTimeoutFor(settings_.intervalSeconds); }

StatisticsCaptions PlotSession::Captions() const { return CaptionsFor(chart_.data, numberFormat_); }

LimitCheckResult PlotSession::LeaveLimitBox(LimitBox box, int max, int min) {
  LimitCheckResult result = limits_.Leave(box, max, min, chart_.left);
  if (result.accepted) ChartEdited();
  return result;
}

PanDirections PlotSession::AfterPan(int verticalMax, int pointsPerPage) {
  const PanDirections directions =
      AfterPanStep(chart_.left, chart_.bottom, verticalMax, pointsPerPage, counters_.windowTicks);
  ChartEdited();
  return directions;
}

void PlotSession::ChartEdited() {
  chart_.barColour = look_.plot;
  chart_.Changed();
  listener_.ChartChanged();
}

void PlotSession::Publish() {
  PublishedFigures figures;
  figures.address = settings_.address;
  figures.summary = chart_.figures.Summary();
  figures.json = StatisticsJson(figures.summary, settings_.address);
  const std::size_t close = figures.json.rfind('}');
  if (close != std::string::npos) figures.json.insert(close, AccountingMembers(chart_.figures));
  if (chart_.figures.AnyProbe() || chart_.figures.ErrorCount() > 0) {
    figures.metrics = chart_.figures.Metrics();
  }
  if (alerts_) {
    figures.alertsOn = true;
    figures.alerts = alerts_->Active();
    figures.json = WithAlerts(std::move(figures.json),
                              ActiveAlertsJson(figures.alerts, clock_.Now().utcOffsetSeconds));
  }
  std::lock_guard lock(publishedMutex_);
  published_ = std::move(figures);
}

PlotSession::PublishedFigures PlotSession::Published() const {
  std::lock_guard lock(publishedMutex_);
  return published_;
}

std::string PlotSession::MetricsText(const PublishedFigures& figures) {
  std::vector<TargetMetrics> targets;
  if (figures.metrics) targets.push_back(*figures.metrics);
  return FormatMetrics(targets) + FormatProbeAccountingMetrics(targets);
}

}  // namespace quorvel
