#include "probe/processrunner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

extern char** environ;

namespace quorvel {

namespace {

using Clock = std::chrono::steady_clock;

class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() { Close(); }
  int get() const { return fd_; }
  void Reset(int fd) { Close(); fd_ = fd; }
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
};

bool MakePipe(Fd& readEnd, Fd& writeEnd) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return false;
  readEnd.Reset(fds[0]);
  writeEnd.Reset(fds[1]);
  return true;
}

// Reads what is available; returns false at end of file (or on error).
bool Drain(int fd, std::string& into, std::size_t limit) {
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n > 0) {
      const std::size_t room = into.size() < limit ? limit - into.size() : 0;
      into.append(buffer, std::min(room, static_cast<std::size_t>(n)));
      continue;
    }
    if (n == 0) return false;
    if (errno == EINTR) continue;
    return errno == EAGAIN || errno == EWOULDBLOCK;
  }
}

}  // namespace

ProcessResult RunProcess(const std::vector<std::string>& argv, const ProcessOptions& options) {
  ProcessResult result;
  if (argv.empty()) {
    result.error = "no program given";
    return result;
  }

  if (options.shouldStop && options.shouldStop()) {
    result.cancelled = true;
    result.error = "stopped before it started";
    return result;
  }

  Fd outRead, outWrite, errRead, errWrite;
  if (!MakePipe(outRead, outWrite) || !MakePipe(errRead, errWrite)) {
    result.error = std::strerror(errno);
    return result;
  }

  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  std::vector<std::string> environment;
  for (char** e = environ; e && *e; ++e) {
    bool replaced = false;
    for (const std::string& extra : options.extraEnvironment) {
      const std::size_t eq = extra.find('=');
      if (std::strncmp(*e, extra.c_str(), eq + 1) == 0) replaced = true;
    }
    if (!replaced) environment.emplace_back(*e);
  }
  for (const std::string& extra : options.extraEnvironment) environment.push_back(extra);
  std::vector<char*> envp;
  for (std::string& e : environment) envp.push_back(e.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, outWrite.get(), 1);
  posix_spawn_file_actions_adddup2(&actions, errWrite.get(), 2);
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);

  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  sigaddset(&defaults, SIGINT);
  sigaddset(&defaults, SIGTERM);
  sigaddset(&defaults, SIGHUP);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

  pid_t pid = -1;
  const int spawned = ::posix_spawnp(&pid, args[0], &actions, &attributes, args.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  outWrite.Close();
  errWrite.Close();
  if (spawned != 0) {
    result.error = std::strerror(spawned);
    return result;
  }
  result.started = true;

  ::fcntl(outRead.get(), F_SETFL, O_NONBLOCK);
  ::fcntl(errRead.get(), F_SETFL, O_NONBLOCK);

  // A descriptor that becomes readable when the child ends, so its end is
  // seen at once; where the kernel has none, the end is looked for in short
  // naps once both pipes have closed.
  Fd exitWatch(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));

  const auto started = Clock::now();
  bool outOpen = true, errOpen = true, exited = false;
  int status = 0;
  std::chrono::steady_clock::time_point exitedAt;
  auto reap = [&] {
    if (exited) return;
    const pid_t r = ::waitpid(pid, &status, WNOHANG);
    if (r == pid || (r < 0 && errno == ECHILD)) {
      exited = true;
      exitedAt = Clock::now();
    }
  };
  for (;;) {
    // Wait one step, reading whatever arrives meanwhile, until the child
    // has ended and both streams are closed.
    const auto stepEnd = Clock::now() + options.step;
    for (;;) {
      if (exited && !outOpen && !errOpen) break;
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(stepEnd - Clock::now());
      if (left.count() <= 0) break;
      pollfd fds[3];
      nfds_t count = 0;
      if (outOpen) fds[count++] = {outRead.get(), POLLIN, 0};
      if (errOpen) fds[count++] = {errRead.get(), POLLIN, 0};
      const bool watching = !exited && exitWatch.get() >= 0;
      if (watching) fds[count++] = {exitWatch.get(), POLLIN, 0};
      int timeout = static_cast<int>(left.count());
      const bool napping = !exited && !watching && !outOpen && !errOpen;
      if (napping) timeout = std::min(timeout, 2);
      const int ready = ::poll(count ? fds : nullptr, count, timeout);
      if (ready < 0 && errno != EINTR) break;
      for (nfds_t i = 0; ready > 0 && i < count; ++i) {
        if (fds[i].revents == 0) continue;
        if (fds[i].fd == exitWatch.get()) {
          reap();
          continue;
        }
        const bool isOut = fds[i].fd == outRead.get();
        std::string& into = isOut ? result.standardOutput : result.standardError;
        if (!Drain(fds[i].fd, into, options.maxBytesPerStream)) (isOut ? outOpen : errOpen) = false;
      }
      if (napping || (!outOpen && !errOpen && !watching)) reap();
    }
    if (options.onStep) options.onStep();
    const bool stop = options.shouldStop && options.shouldStop();

    if (exited) {
      // Whatever the child wrote is in the pipes by now; a grandchild that
      // kept them open must not hold us beyond a short grace.
      if ((!outOpen && !errOpen) || stop ||
          Clock::now() - exitedAt > std::chrono::milliseconds(500)) {
        break;
      }
      continue;
    }
    if (stop || Clock::now() - started >= options.killAfter) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      exited = true;
      exitedAt = Clock::now();
      (stop ? result.cancelled : result.killed) = true;
      if (outOpen) Drain(outRead.get(), result.standardOutput, options.maxBytesPerStream);
      if (errOpen) Drain(errRead.get(), result.standardError, options.maxBytesPerStream);
      break;
    }
  }

  if (!result.killed && !result.cancelled && WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  return result;
}

}  // namespace quorvel
