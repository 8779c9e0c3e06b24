#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace quorvel {

// What the process uses of the system, as a scrape reports it.
struct ProcessFigures {
  std::optional<std::uint64_t> openDescriptors;  // entries of /proc/self/fd
  std::optional<std::uint64_t> maxDescriptors;   // the soft RLIMIT_NOFILE
  std::optional<std::uint64_t> residentBytes;    // resident pages of /proc/self/statm
  double cpuSeconds = 0;                         // user + system time of every thread
};

// Reads the figures now. A figure the system does not give (no /proc) is
// left empty. A few system calls and one directory read; any thread.
ProcessFigures ReadProcessFigures();

// The Prometheus text exposition (format 0.0.4) of `figures` under the names
// Prometheus' own clients use: process_open_fds, process_max_fds,
// process_resident_memory_bytes (gauges) and process_cpu_seconds_total
// (a counter), each with its HELP and TYPE lines; an empty figure has
// neither. Lines end with LF. Pure.
std::string FormatProcessMetrics(const ProcessFigures& figures);

}  // namespace quorvel
