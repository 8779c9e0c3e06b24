#include "base/fileio.h"

#include <atomic>
#include <cerrno>
#include <filesystem>

#include <fcntl.h>
#include <poll.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvel {

namespace {

std::error_code Errno(int error) { return {error, std::generic_category()}; }

// Waits for `fd` to take data; false with errno set when it never will.
bool WaitUntilReady(int fd, const std::function<bool()>& giveUp) {
  for (;;) {
    pollfd ready{fd, POLLOUT, 0};
    const int r = ::poll(&ready, 1, 100);
    if (r < 0 && errno != EINTR) return false;
    // A pipe without a reader reports an error before any write is tried.
    if ((ready.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
      errno = (ready.revents & POLLNVAL) != 0 ? EBADF : EPIPE;
      return false;
    }
    if (r > 0 && (ready.revents & POLLOUT) != 0) return true;
    if (giveUp && giveUp()) {
      errno = ETIMEDOUT;
      return false;
    }
  }
}

std::atomic<unsigned> g_temporaryCounter{0};

}  // namespace

std::error_code WriteAll(int fd, std::string_view bytes, const WriteOptions& options) {
  while (!bytes.empty()) {
    if (options.waitUntilReady && !WaitUntilReady(fd, options.giveUp)) return Errno(errno);
    const ssize_t n = options.write ? options.write(fd, bytes.data(), bytes.size())
                                    : ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return Errno(errno);
    }
    if (n == 0) return Errno(EIO);
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return {};
}

std::error_code AppendRecord(int fd, std::string_view bytes, const WriteOptions& options) {
  struct stat info {};
  const bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  const std::error_code error = WriteAll(fd, bytes, options);
  if (error && regular) {
    // O_APPEND put every byte written at the end, so the part of the record
    // lies beyond the old size. The reason for the failure is the write's.
    while (::ftruncate(fd, info.st_size) != 0 && errno == EINTR) {
    }
  }
  return error;
}

bool FileSteps::MayReplace(const std::string& path) {
  return ::access(path.c_str(), F_OK) != 0 || ::access(path.c_str(), W_OK) == 0;
}

int FileSteps::CreateNew(const std::string& path, mode_t mode) {
  return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
}

bool FileSteps::CopyMode(int fd, const std::string& from) {
  struct stat info {};
  if (::stat(from.c_str(), &info) != 0) return errno == ENOENT;  // nothing to copy from
  return ::fchmod(fd, info.st_mode & 07777) == 0;
}

bool FileSteps::WriteAll(int fd, std::string_view bytes) {
  const std::error_code error = quorvel::WriteAll(fd, bytes);
  if (error) errno = error.value();
  return !error;
}

bool FileSteps::SyncFile(int fd) { return ::fsync(fd) == 0; }

// On Linux the descriptor is gone even when close reports EINTR.
bool FileSteps::CloseFile(int fd) { return ::close(fd) == 0 || errno == EINTR; }

bool FileSteps::RenameOver(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str()) == 0;
}

void FileSteps::SyncDirectory(const std::string& directory) {
  const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

void FileSteps::RemoveFile(const std::string& path) { ::unlink(path.c_str()); }

FileSteps& SystemFileSteps() {
  static FileSteps steps;
  return steps;
}

std::string ReplaceTemporaryPrefix(const std::string& path) {
  const std::filesystem::path target(path);
  return (target.parent_path() / ("." + target.filename().string() + ".tmp")).string();
}

namespace {

// Writes `bytes` to a new temporary file beside `target` and closes it; its
// name is left in `temporary`. On failure nothing is left behind.
std::error_code WriteTemporary(const std::filesystem::path& target, std::string_view bytes,
                               const ReplacePolicy& policy, FileSteps& steps,
                               std::string& temporary) {
  const std::string targetName = target.string();
  const std::filesystem::path directory =
      target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
  int fd = -1;
  // A name near the file system's limit leaves no room for the usual
  // temporary name beside it: a short one of the program's own stands in.
  std::string prefix = ReplaceTemporaryPrefix(targetName);
  if (target.filename().string().size() + 32 > 255) prefix = (directory / ".quorvel.tmp").string();
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temporary = prefix + std::to_string(::getpid()) + "-" + std::to_string(g_temporaryCounter++);
    errno = 0;
    fd = steps.CreateNew(temporary, policy.createMode);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) return Errno(errno ? errno : EEXIST);

  int error = 0;
  auto step = [&error](bool done) {
    if (!done && error == 0) error = errno ? errno : EIO;
    return done;
  };
  errno = 0;
  bool ok = (!policy.respectExisting || step(steps.CopyMode(fd, targetName))) &&
            step(steps.WriteAll(fd, bytes)) && (!policy.sync || step(steps.SyncFile(fd)));
  ok = step(steps.CloseFile(fd)) && ok;
  if (!ok) {
    steps.RemoveFile(temporary);
    return Errno(error);
  }
  return {};
}

// Gives `temporary` the name `to` unless a file has it: EEXIST when taken.
std::error_code NameWithoutReplacing(const std::string& temporary, const std::string& to) {
  if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
    return {};
  }
  if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return Errno(errno);
  // A file system without that rename: a hard link fails on a taken name too.
  if (::link(temporary.c_str(), to.c_str()) != 0) return Errno(errno);
  ::unlink(temporary.c_str());
  return {};
}

}  // namespace

std::error_code ReplaceFileWhole(const std::string& path, std::string_view bytes,
                                 const ReplacePolicy& policy, FileSteps& steps) {
  namespace fs = std::filesystem;
  if (path.empty()) return Errno(ENOENT);
  if (path.back() == '/') return Errno(EISDIR);
  fs::path target(path);
  if (policy.followSymlink) {
    std::error_code ec;
    if (fs::is_symlink(fs::symlink_status(target, ec))) {
      const fs::path resolved = fs::canonical(target, ec);
      if (!ec) target = resolved;
    }
  }
  const std::string targetName = target.string();
  errno = 0;
  if (policy.respectExisting && !steps.MayReplace(targetName)) return Errno(errno ? errno : EACCES);

  std::string temporary;
  if (const std::error_code error = WriteTemporary(target, bytes, policy, steps, temporary)) {
    return error;
  }
  errno = 0;
  if (!steps.RenameOver(temporary, targetName)) {
    const int error = errno ? errno : EIO;
    steps.RemoveFile(temporary);
    return Errno(error);
  }
  if (policy.sync) steps.SyncDirectory(target.has_parent_path() ? target.parent_path().string() : ".");
  return {};
}

std::string NumberedName(const std::string& path, int n) {
  if (n <= 1) return path;
  const std::size_t slash = path.rfind('/');
  const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  std::size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot <= nameStart) dot = path.size();
  return path.substr(0, dot) + "-" + std::to_string(n) + path.substr(dot);
}

std::error_code WriteNewFile(const std::string& path, std::string_view bytes, std::string* written,
                             int maxNames) {
  if (path.empty()) return Errno(ENOENT);
  if (path.back() == '/') return Errno(EISDIR);
  std::string temporary;
  FileSteps& steps = SystemFileSteps();
  if (const std::error_code error = WriteTemporary(path, bytes, {}, steps, temporary)) return error;
  for (int n = 1; n <= maxNames; ++n) {
    const std::string name = NumberedName(path, n);
    const std::error_code error = NameWithoutReplacing(temporary, name);
    if (error == std::errc::file_exists) continue;
    if (error) {
      steps.RemoveFile(temporary);
      return error;
    }
    if (written != nullptr) *written = name;
    return {};
  }
  steps.RemoveFile(temporary);
  return Errno(EEXIST);
}

}  // namespace quorvel
