#include "probe/rundosinmemo.h"

#include "probe/pingadapter.h"
#include "probe/processrunner.h"

namespace quorvel {

void RunDosInMemo(const std::string& commandLine, std::string& response,
                  const std::function<void()>& pumpEvents) {
  RunDosInMemo(commandLine, response, pumpEvents, nullptr);
}

bool RunDosInMemo(const std::string& commandLine, std::string& response,
                  const std::function<void()>& pumpEvents, const std::function<bool()>& cancelled) {
  const std::optional<PingCommand> command = ParsePingCommandLine(commandLine);
  if (!command) return true;

  ProcessOptions options;
  options.step = std::chrono::milliseconds(100);
  // The reply timeout does not bound name resolution; allow it ten seconds.
  options.killAfter = std::chrono::milliseconds(std::max(command->timeoutMs, 0) + 10'000);
  options.maxBytesPerStream = 64 * 1024;
  options.extraEnvironment = {"LC_ALL=C"};  // output wording and decimal point as parsed
  options.onStep = pumpEvents;
  options.shouldStop = cancelled;

  const ProcessResult result = RunProcess(IputilsArguments(*command), options);
  if (result.cancelled) return false;
  if (!result.started) return true;
  response += AdaptIputilsOutput(*command, result.standardOutput, result.standardError);
  return true;
}

}  // namespace quorvel
