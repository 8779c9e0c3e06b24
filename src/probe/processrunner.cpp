#include "probe/processrunner.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace quorvel {

namespace {

using SteadyClock = std::chrono::steady_clock;

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

// The paths to try for `program`, as execvp tries them: the name itself when
// it holds a "/", else each folder of PATH in turn (an empty entry is the
// working folder; no PATH means /bin:/usr/bin).
std::vector<std::string> ProgramPaths(const std::string& program) {
  if (program.find('/') != std::string::npos) return {program};
  const char* path = std::getenv("PATH");
  const std::string folders = path ? path : "/bin:/usr/bin";
  std::vector<std::string> paths;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = folders.find(':', start);
    const std::string folder = folders.substr(start, end == std::string::npos ? end : end - start);
    paths.push_back(folder.empty() ? program : folder + "/" + program);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return paths;
}

// What the child needs between its start and the exec of the program, all
// made ready by the parent: the child shares the parent's memory, so it
// allocates nothing and makes system calls only.
struct ChildPlan {
  std::vector<const char*> paths;  // null-terminated
  char* const* argv;
  char* const* envp;
  int outWrite;
  int errWrite;
  pid_t parent;       // the process that started the child
  unsigned maxFd;     // for closing descriptors where close_range is missing
  int error = 0;      // set by the child when the program could not be run
};

// The child, from its start to the exec. It asks the kernel to kill it when
// the thread that started it ends (PR_SET_PDEATHSIG: RunProcess waits on that
// thread for the child, so in effect when this process ends, a SIGKILL
// included); if the parent is already gone by then, the request came too
// late, and the child ends at once. The setting survives the exec of an
// ordinary program; the kernel clears it for a program that gains
// privileges (set-user-ID, or file capabilities as iputils ping has) when a
// user without them runs it.
int ChildMain(void* argument) {
  ChildPlan& plan = *static_cast<ChildPlan*>(argument);
  if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != plan.parent) {
    plan.error = ECHILD;
    ::_exit(127);
  }
  // The parent's handlers must not run in this shared memory: every caught
  // signal goes back to its default, and those the programs rely on too
  // even where the parent ignores them (the agent ignores SIGPIPE). The
  // parent blocked every signal before the start; they are let through
  // only once no handler is left.
  for (int number = 1; number < NSIG; ++number) {
    struct sigaction current {};
    if (::sigaction(number, nullptr, &current) != 0) continue;
    const bool wanted = number == SIGPIPE || number == SIGINT || number == SIGTERM || number == SIGHUP;
    if (current.sa_handler == SIG_DFL || (current.sa_handler == SIG_IGN && !wanted)) continue;
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    ::sigaction(number, &fallback, nullptr);
  }
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);

  const int input = ::open("/dev/null", O_RDONLY);
  if (input < 0 || (input != 0 && ::dup2(input, 0) < 0) || ::dup2(plan.outWrite, 1) < 0 ||
      ::dup2(plan.errWrite, 2) < 0) {
    plan.error = errno;
    ::_exit(127);
  }
  if (::close_range(3, ~0u, 0) != 0) {
    for (unsigned fd = 3; fd < plan.maxFd; ++fd) ::close(static_cast<int>(fd));
  }
  int error = ENOENT;
  for (const char* const* path = plan.paths.data(); *path != nullptr; ++path) {
    ::execve(*path, plan.argv, plan.envp);
    // As execvp: a folder where it is missing or may not run moves on to the
    // next; any other failure is the answer. Being refused beats not found.
    if (errno == EACCES) {
      error = EACCES;
    } else if (errno != ENOENT && errno != ENOTDIR) {
      error = errno;
      break;
    }
  }
  plan.error = error;
  ::_exit(127);
}

// Starts the child the way posix_spawn does (a clone that shares the memory
// and holds the parent until the exec, so no page tables are copied), which
// leaves a moment between the start and the exec for the death signal.
// Returns the child's id, or -1 with `error` set.
pid_t StartChild(ChildPlan& plan, int& error) {
  constexpr std::size_t kStackSize = 64 * 1024;
  void* stack = ::mmap(nullptr, kStackSize, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
  if (stack == MAP_FAILED) {
    error = errno;
    return -1;
  }
  sigset_t all, saved;
  sigfillset(&all);
  ::pthread_sigmask(SIG_BLOCK, &all, &saved);
  const pid_t pid = ::clone(ChildMain, static_cast<char*>(stack) + kStackSize,
                            CLONE_VM | CLONE_VFORK | SIGCHLD, &plan);
  error = pid < 0 ? errno : 0;
  ::pthread_sigmask(SIG_SETMASK, &saved, nullptr);
  ::munmap(stack, kStackSize);
  if (pid > 0 && plan.error != 0) {
    ::waitpid(pid, nullptr, 0);
    error = plan.error;
    return -1;
  }
  return pid;
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

  const std::vector<std::string> paths = ProgramPaths(argv[0]);
  ChildPlan plan;
  for (const std::string& path : paths) plan.paths.push_back(path.c_str());
  plan.paths.push_back(nullptr);
  plan.argv = args.data();
  plan.envp = envp.data();
  plan.outWrite = outWrite.get();
  plan.errWrite = errWrite.get();
  plan.parent = ::getpid();
  rlimit limit{};
  plan.maxFd = ::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < 65536
                   ? static_cast<unsigned>(limit.rlim_cur)
                   : 65536u;

  int spawnError = 0;
  const pid_t pid = StartChild(plan, spawnError);
  outWrite.Close();
  errWrite.Close();
  if (pid < 0) {
    result.error = std::strerror(spawnError);
    return result;
  }
  result.started = true;

  ::fcntl(outRead.get(), F_SETFL, O_NONBLOCK);
  ::fcntl(errRead.get(), F_SETFL, O_NONBLOCK);

  // A descriptor that becomes readable when the child ends, so its end is
  // seen at once; where the kernel has none, the end is looked for in short
  // naps once both pipes have closed.
  Fd exitWatch(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));

  const auto started = SteadyClock::now();
  bool outOpen = true, errOpen = true, exited = false;
  int status = 0;
  std::chrono::steady_clock::time_point exitedAt;
  auto reap = [&] {
    if (exited) return;
    const pid_t r = ::waitpid(pid, &status, WNOHANG);
    if (r == pid || (r < 0 && errno == ECHILD)) {
      exited = true;
      exitedAt = SteadyClock::now();
    }
  };
  for (;;) {
    // Wait one step, reading whatever arrives meanwhile, until the child
    // has ended and both streams are closed.
    const auto stepEnd = SteadyClock::now() + options.step;
    for (;;) {
      if (exited && !outOpen && !errOpen) break;
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(stepEnd - SteadyClock::now());
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
          SteadyClock::now() - exitedAt > std::chrono::milliseconds(500)) {
        break;
      }
      continue;
    }
    if (stop || SteadyClock::now() - started >= options.killAfter) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      exited = true;
      exitedAt = SteadyClock::now();
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
