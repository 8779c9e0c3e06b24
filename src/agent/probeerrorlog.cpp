#include "agent/probeerrorlog.h"

namespace quorvel {

std::string ProbeErrorReason(const ProbeResult& result) {
  if (result.outcome == ProbeResult::Outcome::UnknownHost) return kUnknownHostReason;
  return result.reason.empty() ? std::string("failed") : result.reason;
}

std::string ProbeErrorLog::Note(const std::string& target, const ProbeResult& result, TimePoint now) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (result.outcome == ProbeResult::Outcome::UnknownHost) {
    if (!unresolved_.insert(target).second) return {};
    return "quorvel-agent: " + target + ": the name does not resolve\n";
  }
  if (result.outcome != ProbeResult::Outcome::Failed) return {};
  const std::string reason = ProbeErrorReason(result);
  const auto [found, first] = reasons_.try_emplace(reason);
  PerReason& r = found->second;
  if (first) {
    r.last = now;
    return "quorvel-agent: " + target + ": a probe could not be made (" + reason +
           "); such probes are counted as errors, not as lost\n";
  }
  ++r.held;
  if (now - r.last < interval_) return {};
  const std::uint64_t held = r.held;
  r.held = 0;
  r.last = now;
  return "quorvel-agent: " + std::to_string(held) + " more probe" + (held == 1 ? "" : "s") +
         " could not be made (" + reason + ")\n";
}

}  // namespace quorvel
