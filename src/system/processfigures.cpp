#include "system/processfigures.h"

#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>

#include "stats/prometheus.h"

namespace quorvel {

namespace {

std::optional<std::uint64_t> CountOpenDescriptors() {
  DIR* dir = ::opendir("/proc/self/fd");
  if (dir == nullptr) return std::nullopt;
  std::uint64_t count = 0;
  while (const dirent* entry = ::readdir(dir)) count += entry->d_name[0] != '.';
  ::closedir(dir);
  return count - 1;  // the directory's own descriptor
}

std::optional<std::uint64_t> ResidentBytes() {
  std::FILE* file = std::fopen("/proc/self/statm", "re");
  if (file == nullptr) return std::nullopt;
  unsigned long long size = 0;
  unsigned long long resident = 0;
  const int read = std::fscanf(file, "%llu %llu", &size, &resident);
  std::fclose(file);
  const long page = ::sysconf(_SC_PAGESIZE);
  if (read != 2 || page <= 0) return std::nullopt;
  return resident * static_cast<std::uint64_t>(page);
}

double Seconds(const timeval& t) {
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

void Family(std::string& out, const char* name, const char* type, const char* help,
            const std::string& value) {
  AppendMetricFamily(out, name, type, help);
  AppendMetricSample(out, name, "", value);
}

}  // namespace

ProcessFigures ReadProcessFigures() {
  ProcessFigures figures;
  figures.openDescriptors = CountOpenDescriptors();
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
    figures.maxDescriptors = limit.rlim_cur;
  }
  figures.residentBytes = ResidentBytes();
  rusage usage{};
  if (::getrusage(RUSAGE_SELF, &usage) == 0) {
    figures.cpuSeconds = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
  }
  return figures;
}

std::string FormatProcessMetrics(const ProcessFigures& figures) {
  std::string out;
  if (figures.openDescriptors) {
    Family(out, "process_open_fds", "gauge", "Number of open file descriptors.",
           std::to_string(*figures.openDescriptors));
  }
  if (figures.maxDescriptors) {
    Family(out, "process_max_fds", "gauge", "Maximum number of open file descriptors.",
           std::to_string(*figures.maxDescriptors));
  }
  if (figures.residentBytes) {
    Family(out, "process_resident_memory_bytes", "gauge", "Resident memory size in bytes.",
           std::to_string(*figures.residentBytes));
  }
  char seconds[32];
  const auto written = std::to_chars(seconds, seconds + sizeof seconds, figures.cpuSeconds);
  Family(out, "process_cpu_seconds_total", "counter", "Total user and system CPU time spent in seconds.",
         std::string(seconds, written.ptr));
  return out;
}

}  // namespace quorvel
