#include "probe/pingchild.h"

#include <algorithm>

#include "probe/pingprobe.h"
#include "probe/processrunner.h"

namespace quorvel {

const char* OutcomeName(ProbeResult::Outcome outcome) {
  switch (outcome) {
    case ProbeResult::Outcome::Reply: return "reply";
    case ProbeResult::Outcome::Lost: return "lost";
    case ProbeResult::Outcome::UnknownHost: return "unknown host";
    case ProbeResult::Outcome::Failed: return "failed";
    case ProbeResult::Outcome::Cancelled: return "cancelled";
  }
  return "lost";
}

bool IsSpoilt(std::string_view pingOutput) {
  return pingOutput.find("wrong data byte") != std::string_view::npos ||
         pingOutput.find("(BAD CHECKSUM!)") != std::string_view::npos;
}

ProbeResult PingChild(const PingCommand& command, const PingChildOptions& options) {
  ProcessOptions process;
  process.step = options.step;
  process.killAfter = std::chrono::milliseconds(std::max(command.timeoutMs, 0) + 10'000);
  process.maxBytesPerStream = 64 * 1024;
  process.extraEnvironment = {"LC_ALL=C"};  // output wording and decimal point as parsed
  process.onStep = options.onStep;
  process.shouldStop = options.shouldStop;

  const ProcessResult ran = RunProcess(IputilsArguments(command), process);
  ProbeResult result;
  if (ran.cancelled) {
    result.outcome = ProbeResult::Outcome::Cancelled;
    return result;
  }
  if (!ran.started) {
    result.outcome = ProbeResult::Outcome::Failed;
    result.reason = ran.error.empty() ? "the ping program could not be started" : ran.error;
    return result;
  }
  result.text = AdaptIputilsOutput(command, ran.standardOutput, ran.standardError);
  if (ContainsHostNotFound(result.text)) {
    result.outcome = ProbeResult::Outcome::UnknownHost;
    return result;
  }
  const PingReply reply = ParseReplyLine(ReplyLine(result.text), command.timeoutMs);
  // iputils prints a reply whose payload differs from what it sent, and
  // counts it, then adds "wrong data byte #N ..." (or "(BAD CHECKSUM!)" to
  // the reply line): such an answer proves nothing of the path, so it is
  // lost here.
  if (reply.micros && IsSpoilt(ran.standardOutput)) {
    result.corrupted = true;
    return result;
  }
  if (reply.micros) {
    result.outcome = ProbeResult::Outcome::Reply;
    result.rttNanos = *reply.micros * 1000;
  }
  return result;
}

}  // namespace quorvel
