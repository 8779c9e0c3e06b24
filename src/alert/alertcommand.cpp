#include "alert/alertcommand.h"

#include "stats/isotime.h"
#include "probe/processrunner.h"

namespace quorvel {

namespace {

std::string FirstLine(const std::string& text) {
  const std::size_t end = text.find_first_of("\r\n");
  return text.substr(0, end);
}

std::string Seconds(std::chrono::milliseconds bound) {
  const auto ms = bound.count();
  return ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms";
}

}  // namespace

std::vector<std::string> AlertEnvironment(const AlertEvent& event) {
  return {
      std::string("QUORVEL_ALERT_STATE=") + AlertEventTypeName(event.type),
      "QUORVEL_ALERT_TARGET=" + event.target,
      "QUORVEL_ALERT_RULE=" + event.rule,
      "QUORVEL_ALERT_VALUE=" + event.figures.value,
      "QUORVEL_ALERT_DESCRIPTION=" + event.figures.description,
      "QUORVEL_ALERT_TIME=" + FormatIsoLocal(event.unixMs, event.utcOffsetSeconds),
      "QUORVEL_ALERT_UNIX_MS=" + std::to_string(event.unixMs),
  };
}

AlertCommand::AlertCommand(AlertCommandOptions options, FailureReport onFailure)
    : options_(std::move(options)), onFailure_(std::move(onFailure)), worker_([this] { Work(); }) {}

AlertCommand::~AlertCommand() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  worker_.join();
}

void AlertCommand::Submit(const AlertEvent& event) {
  {
    std::lock_guard lock(mutex_);
    if (queue_.size() >= options_.maxQueued) {
      ++dropped_;
    } else {
      queue_.push_back(event);
    }
  }
  changed_.notify_all();
}

void AlertCommand::Drain() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return (queue_.empty() && !running_) || stopping_; });
}

void AlertCommand::Report(const std::string& message) {
  if (reported_) return;
  reported_ = true;
  if (onFailure_) onFailure_(message);
}

void AlertCommand::Work() {
  std::vector<std::string> argv{options_.program};
  argv.insert(argv.end(), options_.arguments.begin(), options_.arguments.end());
  const std::string name = "alert command " + options_.program;
  for (;;) {
    AlertEvent event;
    std::size_t dropped = 0;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [this] { return !queue_.empty() || dropped_ > 0 || stopping_; });
      if (stopping_) return;
      dropped = dropped_;
      dropped_ = 0;
      if (dropped == 0) {
        event = std::move(queue_.front());
        queue_.pop_front();
        running_ = true;
      }
    }
    if (dropped > 0) {
      // Reported here, on the command's thread, like every other failure.
      Report(name + " is too slow: " + std::to_string(dropped) + " alert events were dropped");
      continue;
    }

    ProcessOptions run;
    run.step = std::chrono::milliseconds(50);
    run.killAfter = options_.bound;
    run.maxBytesPerStream = 4096;
    run.extraEnvironment = AlertEnvironment(event);
    run.shouldStop = [this] { return stopping_.load(); };
    const ProcessResult result = RunProcess(argv, run);

    if (!result.cancelled) {
      if (!result.started) {
        Report(name + " could not be run: " + result.error);
      } else if (result.killed) {
        Report(name + " did not end within " + Seconds(options_.bound) + " and was killed");
      } else if (result.exitCode != 0) {
        std::string message = result.exitCode < 0 ? name + " was ended by a signal"
                                                  : name + " failed with status " + std::to_string(result.exitCode);
        const std::string said = FirstLine(result.standardError);
        if (!said.empty()) message += ": " + said;
        Report(message);
      } else {
        reported_ = false;
      }
    }
    {
      std::lock_guard lock(mutex_);
      running_ = false;
    }
    changed_.notify_all();
  }
}

}  // namespace quorvel
