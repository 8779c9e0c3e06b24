#include "agent/childstop.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

namespace quorvel {

namespace {

// The parent process id from /proc/<pid>/stat, or -1. The command name in
// that line is in parentheses and may itself hold blanks and parentheses, so
// the fields are read after the last ')'.
pid_t ParentOf(const char* pid) {
  const std::string path = std::string("/proc/") + pid + "/stat";
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  char buffer[512];
  ssize_t n;
  do {
    n = ::read(fd, buffer, sizeof buffer - 1);
  } while (n < 0 && errno == EINTR);
  ::close(fd);
  if (n <= 0) return -1;
  buffer[n] = '\0';
  const char* close = std::strrchr(buffer, ')');
  if (!close) return -1;
  // ") S 1234 ..." : the state, then the parent.
  const char* p = close + 1;
  while (*p == ' ') ++p;
  if (*p == '\0') return -1;
  ++p;  // the state letter
  return static_cast<pid_t>(std::strtol(p, nullptr, 10));
}

// Through syscall(2): Debian 12's <sys/pidfd.h> declares these without C
// linkage for C++.
int PidfdOpen(pid_t pid) { return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)); }
bool PidfdKill(int pidfd) { return ::syscall(SYS_pidfd_send_signal, pidfd, SIGKILL, nullptr, 0) == 0; }

bool IsNumber(const char* name) {
  if (*name == '\0') return false;
  for (; *name; ++name) {
    if (*name < '0' || *name > '9') return false;
  }
  return true;
}

}  // namespace

int KillChildProcesses() {
  const pid_t self = ::getpid();
  DIR* proc = ::opendir("/proc");
  if (!proc) return 0;
  int signalled = 0;
  while (const dirent* entry = ::readdir(proc)) {
    if (!IsNumber(entry->d_name) || ParentOf(entry->d_name) != self) continue;
    const pid_t pid = static_cast<pid_t>(std::strtol(entry->d_name, nullptr, 10));
    const int pidfd = PidfdOpen(pid);
    if (pidfd < 0) continue;
    // Still ours once pinned: the pidfd now names this very process.
    if (ParentOf(entry->d_name) == self && PidfdKill(pidfd)) {
      ++signalled;
    }
    ::close(pidfd);
  }
  ::closedir(proc);
  return signalled;
}

}  // namespace quorvel
