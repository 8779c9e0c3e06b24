#include "run/plotrun.h"

#include <exception>

#include "probe/pingprobe.h"
#include "run/usererror.h"

namespace quorvel {

void PlotRun::Start(PlotRunHost& host) {
  host.ShowGraphPage();
  host.ShowStoppedLabel(false);
  Tick(host);

  const std::string address = host.Address();
  if (ContainsHostNotFound(host.ResponseText())) {
    hostNotFound_ = true;
    host.ShowMessage("Unable to find host " + address);
    host.SetTimerArmed(false);
    Stop(host);
    return;
  }
  host.AddAddressToHistory(address);
  host.SetAddressEnabled(false);
  hostNotFound_ = false;
  host.SetTimerArmed(true);
  pageTicks_ = 0;
  host.SetStartDown(true);
  host.SetStartedPanel("Plot Started: " + FormatDayDate(clock_.Now()));
}

void PlotRun::Stop(PlotRunHost& host) {
  host.SetTimerArmed(false);
  host.SetStartDown(false);
  host.SetAddressEnabled(true);
}

void PlotRun::Clear() {
  windowTicks_ = 0;
  captureTicks_ = 0;
}

void PlotRun::Tick(PlotRunHost& host) {
  host.ClearResponse();
  host.RunProbe(BuildPingCommandLine(host.Address(), host.PingTimeout()));
  if (hostNotFound_) return;

  const std::string reply = ReplyLine(host.ResponseText());
  host.ShowReplyLine(reply);
  const Sample sample = ParsePingReply(reply, host.PingTimeout(), host.PlotColour());

  ++windowTicks_;
  ++captureTicks_;
  ++pageTicks_;
  if (windowTicks_ == 1 && host.IgnoreFirstPing()) return;

  host.AddPoint(sample);

  const int pages = host.Pages();
  const int points = host.PointsPerPage();
  if (pages > 0 && static_cast<long long>(pageTicks_) > static_cast<long long>(pages) * points) {
    if (host.StopAtLimit()) {
      pageTicks_ = 0;
      Stop(host);
      host.ShowStoppedLabel(true);
    } else if (host.RestartAtLimit()) {
      pageTicks_ = 0;
      windowTicks_ = 0;
      host.PageReset();
    }
  }

  std::string captureError;
  if (captureTicks_ >= host.PointsPerPage() && host.CaptureReady()) {
    try {
      host.CaptureNow();
      captureTicks_ = 0;
    } catch (const std::exception& e) {
      captureError = e.what();
    }
  }

  host.WindowStep(windowTicks_);
  const double comparison = host.StatisticsStep(sample.value);
  try {
    host.LogStep(sample.text, comparison);
  } catch (const std::exception& e) {
    if (captureError.empty()) throw;
    throw UserError(captureError + "\n" + e.what());
  }
  if (!captureError.empty()) throw UserError(captureError);
}

}  // namespace quorvel
