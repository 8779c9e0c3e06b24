#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "system/descriptorlimit.h"
#include "system/processfigures.h"

namespace quorvel {
namespace {

// In a child process, whose limit may be lowered without harm to the tests.
TEST(RaiseDescriptorLimit, TheSoftLimitGoesUpToTheHardOne) {
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    if (limit.rlim_max < 128) ::_exit(3);
    limit.rlim_cur = 64;
    if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) ::_exit(3);
    const DescriptorLimit raised = RaiseDescriptorLimit();
    rlimit now{};
    ::getrlimit(RLIMIT_NOFILE, &now);
    ::_exit(raised.error == 0 && now.rlim_cur == limit.rlim_max && raised.soft == now.rlim_cur ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 3) GTEST_SKIP() << "the hard limit is too low to lower the soft one";
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

// Counted another way: every descriptor number that is open, up to the limit.
std::uint64_t OpenDescriptorsByProbing() {
  rlimit limit{};
  ::getrlimit(RLIMIT_NOFILE, &limit);
  std::uint64_t open = 0;
  for (int fd = 0; fd < static_cast<int>(std::min<rlim_t>(limit.rlim_cur, 65536)); ++fd) {
    open += ::fcntl(fd, F_GETFD) != -1;
  }
  return open;
}

TEST(ReadProcessFigures, DescriptorsLimitMemoryAndTime) {
  int pipes[2];
  ASSERT_EQ(::pipe(pipes), 0);
  const ProcessFigures figures = ReadProcessFigures();
  EXPECT_EQ(figures.openDescriptors, OpenDescriptorsByProbing());
  ::close(pipes[0]);
  ::close(pipes[1]);
  rlimit limit{};
  ::getrlimit(RLIMIT_NOFILE, &limit);
  EXPECT_EQ(figures.maxDescriptors, limit.rlim_cur);
  ASSERT_TRUE(figures.residentBytes);
  EXPECT_GT(*figures.residentBytes, 1u << 20);     // the test program itself
  EXPECT_LT(*figures.residentBytes, 1ull << 32);   // pages, not bytes times pages
  EXPECT_GT(figures.cpuSeconds, 0.0);
}

TEST(FormatProcessMetrics, TheNamesPrometheusUsersExpectEmptyFiguresLeftOut) {
  ProcessFigures figures;
  figures.openDescriptors = 17;
  figures.maxDescriptors = 1024;
  figures.residentBytes = 5242880;
  figures.cpuSeconds = 0.25;
  EXPECT_EQ(FormatProcessMetrics(figures),
            "# HELP process_open_fds Number of open file descriptors.\n"
            "# TYPE process_open_fds gauge\n"
            "process_open_fds 17\n"
            "# HELP process_max_fds Maximum number of open file descriptors.\n"
            "# TYPE process_max_fds gauge\n"
            "process_max_fds 1024\n"
            "# HELP process_resident_memory_bytes Resident memory size in bytes.\n"
            "# TYPE process_resident_memory_bytes gauge\n"
            "process_resident_memory_bytes 5242880\n"
            "# HELP process_cpu_seconds_total Total user and system CPU time spent in seconds.\n"
            "# TYPE process_cpu_seconds_total counter\n"
            "process_cpu_seconds_total 0.25\n");
  EXPECT_EQ(FormatProcessMetrics(ProcessFigures{}),
            "# HELP process_cpu_seconds_total Total user and system CPU time spent in seconds.\n"
            "# TYPE process_cpu_seconds_total counter\n"
            "process_cpu_seconds_total 0\n");
}

}  // namespace
}  // namespace quorvel
