#include "probe/rundosinmemo.h"

#include "probe/pingadapter.h"
#include "probe/processrunner.h"

namespace quorvel {

void RunDosInMemo(const std::string& commandLine, std::string& response,
                  const std::function<void()>& pumpEvents) {
  const std::optional<PingCommand> command = ParsePingCommandLine(commandLine);
  if (!command) return;

  ProcessOptions options;
  options.step = std::chrono::milliseconds(100);
  // The reply timeout does not bound name resolution; allow it ten seconds.
  options.killAfter = std::chrono::milliseconds(std::max(command->timeoutMs, 0) + 10'000);
  options.maxBytesPerStream = 64 * 1024;
  options.extraEnvironment = {"LC_ALL=C"};  // output wording and decimal point as parsed
  options.onStep = pumpEvents;

  const ProcessResult result = RunProcess(IputilsArguments(*command), options);
  if (!result.started) return;
  response += AdaptIputilsOutput(*command, result.standardOutput, result.standardError);
}

}  // namespace quorvel
