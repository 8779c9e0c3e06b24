#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "alert/alertengine.h"

namespace quorvel {

// The environment an alert command gets for an event, "NAME=value" each:
//   QUORVEL_ALERT_STATE        raised or cleared
//   QUORVEL_ALERT_TARGET       the target as typed
//   QUORVEL_ALERT_RULE         the rule's canonical text
//   QUORVEL_ALERT_VALUE        the rule's figure, a number in the rule's unit
//   QUORVEL_ALERT_DESCRIPTION  the figures for a person ("3 lost in a row")
//   QUORVEL_ALERT_TIME         the probe's local time, ISO 8601 with offset
//   QUORVEL_ALERT_UNIX_MS      the same in milliseconds since 1970
std::vector<std::string> AlertEnvironment(const AlertEvent& event);

struct AlertCommandOptions {
  std::string program;                 // a path, or a name looked up on PATH
  std::vector<std::string> arguments;  // fixed arguments after it; never the event
  std::chrono::milliseconds bound{10'000};  // a run still going then is killed
  std::size_t maxQueued = 64;          // events waiting beyond this are dropped
};

// Runs a command for every alert event, one at a time in the order given,
// on a thread of its own, so that neither the window nor a target's probe
// loop waits for it. The command runs without a shell through RunProcess:
// argv is the program and its fixed arguments, the event is only in the
// environment (AlertEnvironment); standard input is /dev/null and what it
// writes is dropped.
//
// A failure (the program cannot be run, it is killed at the bound, it ends
// with a status other than 0 or by a signal, events dropped because the
// queue is full) is passed to `onFailure` once, with a sentence for the
// user; further failures stay silent until a run succeeds again. `onFailure`
// is called on the command's thread.
//
// Submit may be called from any thread. The destructor kills a command that
// is still running and drops the events not yet run.
class AlertCommand {
 public:
  using FailureReport = std::function<void(const std::string& message)>;

  AlertCommand(AlertCommandOptions options, FailureReport onFailure);
  ~AlertCommand();
  AlertCommand(const AlertCommand&) = delete;
  AlertCommand& operator=(const AlertCommand&) = delete;

  void Submit(const AlertEvent& event);
  // Waits until every event submitted so far has been run (each within the
  // bound): for a program that ends after its last event.
  void Drain();

 private:
  void Work();
  void Report(const std::string& message);

  AlertCommandOptions options_;
  FailureReport onFailure_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<AlertEvent> queue_;
  bool running_ = false;       // a command of an event taken from the queue
  std::size_t dropped_ = 0;
  bool reported_ = false;      // a failure was reported since the last success
  std::atomic<bool> stopping_{false};
  std::thread worker_;
};

}  // namespace quorvel
