#pragma once

#include <cstdint>
#include <string>

#include "graph/colour.h"
#include "run/sample.h"
#include "run/timeformat.h"

namespace quorvel {

// What the plot run reads and does outside itself. The main window
// implements it; tests record the calls. Reads happen at the moment a step
// needs the value, because events handled during a probe may change it.
class PlotRunHost {
 public:
  virtual ~PlotRunHost() = default;

  // Settings, read live.
  virtual std::string Address() = 0;
  virtual std::int32_t PingTimeout() = 0;
  virtual Colour PlotColour() = 0;
  virtual bool IgnoreFirstPing() = 0;
  virtual int Pages() = 0;          // 0: no page limit
  virtual int PointsPerPage() = 0;
  virtual bool StopAtLimit() = 0;   // "Stop" chosen
  virtual bool RestartAtLimit() = 0;  // "Restart" chosen
  virtual bool CaptureReady() = 0;  // page capture on and its folder exists

  // The response box and the probe.
  virtual void ClearResponse() = 0;
  virtual void RunProbe(const std::string& commandLine) = 0;  // appends to the response
  virtual std::string ResponseText() = 0;

  // Steps of a tick. CaptureNow and LogStep may throw UserError.
  virtual void ShowReplyLine(const std::string& line) = 0;
  // The point of this sample (its value in its colour), and its place in the
  // run's statistics.
  virtual void AddPoint(const Sample& sample) = 0;
  virtual void PageReset() = 0;
  virtual void CaptureNow() = 0;
  virtual void WindowStep(std::int32_t windowTickCount) = 0;
  virtual double StatisticsStep(std::int32_t value) = 0;  // returns the log's comparison value
  virtual void LogStep(const std::string& sampleText, double comparison) = 0;

  // Start and Stop.
  virtual void ShowGraphPage() = 0;
  virtual void ShowStoppedLabel(bool shown) = 0;
  virtual void SetTimerArmed(bool armed) = 0;
  virtual void SetStartDown(bool startDown) = 0;  // false puts Stop down
  virtual void SetAddressEnabled(bool enabled) = 0;
  virtual void AddAddressToHistory(const std::string& address) = 0;
  virtual void SetStartedPanel(const std::string& text) = 0;
  virtual void ShowMessage(const std::string& text) = 0;
};

// The plot run: Start, Stop and the tick, with the run counters.
//
// Every tick that gets past the host-not-found test counts toward the page
// limit (PageTickCount), the window step and "ignore first ping"
// (WindowTickCount), and the page capture (CaptureTickCount). Stop resets
// none of them; Start resets only PageTickCount.
//
// Not thread-safe; the main window calls it on its own thread, one tick at a
// time.
class PlotRun {
 public:
  explicit PlotRun(const Clock& clock) : clock_(clock) {}

  // Start: one tick at once, then either the host-not-found stop or the armed
  // run. An error thrown by the immediate tick ends Start there.
  void Start(PlotRunHost& host);
  void Stop(PlotRunHost& host);
  // One timer tick. A failed page capture does not end the tick: its error is
  // thrown once the tick's other steps are done.
  void Tick(PlotRunHost& host);
  // The counter part of Clear.
  void Clear();

  std::int32_t PageTickCount() const { return pageTicks_; }
  std::int32_t WindowTickCount() const { return windowTicks_; }
  std::int32_t CaptureTickCount() const { return captureTicks_; }
  bool HostNotFound() const { return hostNotFound_; }

 private:
  const Clock& clock_;
  std::int32_t pageTicks_ = 0;
  std::int32_t windowTicks_ = 0;
  std::int32_t captureTicks_ = 0;
  bool hostNotFound_ = false;
};

}  // namespace quorvel
