#include "run/pinglog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/fileio.h"
#include "run/usererror.h"

namespace quorvel {

bool PosixFileAppender::DirectoryExists(const std::string& path) const {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::error_code PosixFileAppender::Append(const std::string& path, std::string_view bytes) {
  // O_NONBLOCK: a FIFO without a reader would otherwise hold the tick (and
  // the whole window) in open() forever; for a regular file it changes
  // nothing.
  int fd = -1;
  do {
    fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return {errno, std::generic_category()};

  // A line that does not fit (a full disk) is taken back whole, so the log
  // never ends in half a line.
  const std::error_code written = AppendRecord(fd, bytes);
  // Linux releases the descriptor even when close() reports EINTR, so it is
  // never retried; only a real failure (a deferred write error) counts.
  const int closed = ::close(fd);
  const int closeError = closed == 0 ? 0 : errno;
  if (written) return written;
  if (closeError != 0 && closeError != EINTR) return {closeError, std::generic_category()};
  return {};
}

std::error_code WriteAll(int fd, std::string_view bytes, const WriteCall& write) {
  while (!bytes.empty()) {
    const ssize_t n = write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return {errno, std::generic_category()};
    }
    if (n == 0) return std::make_error_code(std::errc::io_error);
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return {};
}

std::string FormatLogLine(const LocalTime& time, std::string_view sampleText) {
  std::string line = FormatLogStamp(time);
  line += ", ";
  line += sampleText;
  line += "ms\r\n";
  return line;
}

bool LogRuleHolds(const LogSettings& settings, double comparison) {
  if (settings.mode.allLog) return true;
  return settings.mode.onlyLog && comparison > static_cast<double>(settings.threshold);
}

bool LogStep(const LogSettings& settings, std::string_view sampleText, double comparison,
             const LocalClock& clock, FileAppender& appender) {
  // The rule is asked first only because it is the cheaper test: both ways
  // end in silence, so the order shows nowhere but in the cost of a tick
  // with logging off.
  if (!LogRuleHolds(settings, comparison)) return false;
  const std::string directory(LogDirectoryPart(settings.fileName));
  if (directory.empty() || !appender.DirectoryExists(directory)) return false;

  const std::error_code error =
      appender.Append(settings.fileName, FormatLogLine(clock.Now(), sampleText));
  if (error) throw UserError(error.message());
  return true;
}

}  // namespace quorvel
