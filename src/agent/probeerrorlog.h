#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>

#include "probe/proberesult.h"

namespace quorvel {

// Lines for standard error about probes that could not be made, so that a
// user learns why without a line per probe:
//  - a probe that failed (the system refused a pipe, a process...): the
//    first of each reason at once, naming the target; later ones of that
//    reason at most once per `interval`, saying how many came meanwhile;
//  - a name that does not resolve: once per target, and never again.
// Each line starts with "quorvel-agent: " and ends with LF.
//
// Thread: any; calls are serialised inside.
class ProbeErrorLog {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;

  explicit ProbeErrorLog(std::chrono::seconds interval = std::chrono::seconds(10))
      : interval_(interval) {}

  // The line to write now for this probe of `target` (Failed or
  // UnknownHost), or empty when it is held back (or not an error).
  std::string Note(const std::string& target, const ProbeResult& result, TimePoint now);

 private:
  struct PerReason {
    TimePoint last;
    std::uint64_t held = 0;
  };
  std::chrono::seconds interval_;
  std::mutex mutex_;
  std::map<std::string, PerReason> reasons_;
  std::set<std::string> unresolved_;
};

// The reason under which a probe that could not be made is counted: the
// prober's, "unknown host" for a name that does not resolve, "failed" when
// the prober gave none.
std::string ProbeErrorReason(const ProbeResult& result);

// The reason counted for a name that does not resolve.
inline constexpr const char* kUnknownHostReason = "unknown host";

}  // namespace quorvel
