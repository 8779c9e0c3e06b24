#include "output/filereplace.h"

#include <atomic>
#include <cerrno>
#include <system_error>

#include <fcntl.h>
#include <stdio.h>
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

// Writes `bytes` to a new temporary beside `path`; its name, or the error.
ImageResult WriteTemporary(const std::string& path, std::span<const std::uint8_t> bytes,
                           std::string& temporary) {
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
  if (!ok) {
    ::unlink(temporary.c_str());
    return FileError(path, error);
  }
  return ImageResult::Ok();
}

// Gives the temporary the name `to` unless a file has it: 0, or the error
// (EEXIST when the name is taken).
int NameWithoutReplacing(const std::string& temporary, const std::string& to) {
  if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return errno;
  // A file system without that rename: a hard link fails on a taken name too.
  if (::link(temporary.c_str(), to.c_str()) != 0) return errno;
  ::unlink(temporary.c_str());
  return 0;
}

}  // namespace

std::string NumberedName(const std::string& path, int n) {
  if (n <= 1) return path;
  const std::size_t slash = path.rfind('/');
  const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  std::size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot <= nameStart) dot = path.size();
  return path.substr(0, dot) + "-" + std::to_string(n) + path.substr(dot);
}

ImageResult WriteNewFile(const std::string& path, std::span<const std::uint8_t> bytes,
                         std::string* written, int maxNames) {
  if (path.empty()) return FileError(path, ENOENT);
  if (path.back() == '/') return FileError(path, EISDIR);
  std::string temporary;
  if (ImageResult made = WriteTemporary(path, bytes, temporary); !made) return made;
  for (int n = 1; n <= maxNames; ++n) {
    const std::string name = NumberedName(path, n);
    const int error = NameWithoutReplacing(temporary, name);
    if (error == EEXIST) continue;
    if (error != 0) {
      ::unlink(temporary.c_str());
      return FileError(name, error);
    }
    if (written != nullptr) *written = name;
    return ImageResult::Ok();
  }
  ::unlink(temporary.c_str());
  return FileError(path, EEXIST);
}

ImageResult ReplaceFileWhole(const std::string& path, std::span<const std::uint8_t> bytes) {
  if (path.empty()) return FileError(path, ENOENT);
  if (path.back() == '/') return FileError(path, EISDIR);
  std::string temporary;
  if (ImageResult made = WriteTemporary(path, bytes, temporary); !made) return made;
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    const int error = errno;
    ::unlink(temporary.c_str());
    return FileError(path, error);
  }
  return ImageResult::Ok();
}

}  // namespace quorvel
