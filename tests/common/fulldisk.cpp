#include "common/fulldisk.h"

#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace {

constexpr int kUnavailable = 77;

}  // namespace

int InFullTmpfs(const std::string& folder, const std::string& size,
                const std::function<int(const std::string& folder)>& body, std::string& why) {
  std::filesystem::create_directories(folder);
  int report[2];
  if (::pipe(report) != 0) {
    why = std::strerror(errno);
    return -1;
  }
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(report[0]);
    auto fail = [&](const char* step) {
      const std::string text = std::string(step) + ": " + std::strerror(errno);
      [[maybe_unused]] const ssize_t n = ::write(report[1], text.data(), text.size());
      ::_exit(kUnavailable);
    };
    if (::unshare(CLONE_NEWNS) != 0) fail("unshare(CLONE_NEWNS)");
    // Mounts made here must not reach the machine's namespace.
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) fail("making / private");
    if (::mount("tmpfs", folder.c_str(), "tmpfs", 0, ("size=" + size).c_str()) != 0) fail("mount -t tmpfs");
    ::close(report[1]);
    ::_exit(body(folder));
  }
  ::close(report[1]);
  char text[256];
  const ssize_t n = pid > 0 ? ::read(report[0], text, sizeof text) : 0;
  ::close(report[0]);
  if (pid < 0) {
    why = std::strerror(errno);
    return -1;
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  if (code == kUnavailable && n > 0) {
    why = std::string(text, static_cast<std::size_t>(n));
    return -1;
  }
  return code;
}
