#include "app/helpfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace quorvel {

std::string PathBesideExecutable(std::string_view executablePath, std::string_view extension) {
  const std::size_t slash = executablePath.rfind('/');
  const std::size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
  std::size_t dot = executablePath.rfind('.');
  if (dot == std::string_view::npos || dot < nameStart) dot = executablePath.size();
  std::string path(executablePath.substr(0, dot));
  path += extension;
  return path;
}

bool FileExists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

std::string InstallHelpFile(const std::string& path, std::string_view document) {
  if (FileExists(path)) ::unlink(path.c_str());
  if (FileExists(path)) return {};  // held elsewhere: that copy stays and serves

  auto failure = [&path](int error) {
    return "Cannot create file \"" + path + "\". " + std::strerror(error);
  };
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return failure(errno);
  std::string_view left = document;
  while (!left.empty()) {
    const ssize_t n = ::write(fd, left.data(), left.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int error = n < 0 ? errno : EIO;
      ::close(fd);
      ::unlink(path.c_str());
      return failure(error);
    }
    left.remove_prefix(static_cast<std::size_t>(n));
  }
  if (::close(fd) != 0 && errno != EINTR) {
    const int error = errno;
    ::unlink(path.c_str());
    return failure(error);
  }
  return {};
}

void RemoveHelpFile(const std::string& path) { ::unlink(path.c_str()); }

}  // namespace quorvel
