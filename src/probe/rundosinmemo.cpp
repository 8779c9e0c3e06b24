#include "probe/rundosinmemo.h"

#include "probe/pingchild.h"

namespace quorvel {

void RunDosInMemo(const std::string& commandLine, std::string& response,
                  const std::function<void()>& pumpEvents) {
  RunDosInMemo(commandLine, response, pumpEvents, nullptr);
}

bool RunDosInMemo(const std::string& commandLine, std::string& response,
                  const std::function<void()>& pumpEvents, const std::function<bool()>& cancelled) {
  const std::optional<PingCommand> command = ParsePingCommandLine(commandLine);
  if (!command) return true;
  const ProbeResult result = PingChild(*command, {pumpEvents, std::chrono::milliseconds(100), cancelled});
  if (result.outcome == ProbeResult::Outcome::Cancelled) return false;
  response += result.text;
  return true;
}

}  // namespace quorvel
