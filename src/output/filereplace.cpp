#include "output/filereplace.h"

#include <atomic>
#include <cerrno>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

namespace quorvel {

namespace {

ImageResult FileError(const std::string& path, int error) {
  return ImageResult::Failure("Cannot create file \"" + path + "\". " +
                              std::generic_category().message(error));
}

// The temporary lives beside the target (rename only replaces within one
// file system) under a short hidden name, so that a target name near the
// length limit still leaves room for it.
std::string TemporaryName(const std::string& path) {
  static std::atomic<unsigned> counter{0};
  const std::size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  return dir + ".quorvel-" + std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1)) + ".tmp";
}

bool WriteAll(int fd, std::span<const std::uint8_t> bytes, int& error) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      error = errno;
      return false;
    }
    bytes = bytes.subspan(static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace

ImageResult ReplaceFileWhole(const std::string& path, std::span<const std::uint8_t> bytes) {
  if (path.empty()) return FileError(path, ENOENT);
  if (path.back() == '/') return FileError(path, EISDIR);
  std::string temporary;
  int fd = -1;
  for (unsigned attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temporary = TemporaryName(path);
    fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return FileError(path, errno);
  }
  if (fd < 0) return FileError(path, EEXIST);

  int error = 0;
  bool ok = WriteAll(fd, bytes, error);
  if (::close(fd) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (ok && ::rename(temporary.c_str(), path.c_str()) != 0) {
    ok = false;
    error = errno;
  }
  if (!ok) {
    ::unlink(temporary.c_str());
    return FileError(path, error);
  }
  return ImageResult::Ok();
}

}  // namespace quorvel
