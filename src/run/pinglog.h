#pragma once

#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <system_error>

#include "run/logoptions.h"
#include "run/timeformat.h"

namespace quorvel {

// The ping log: one line per logged ping, appended to a plain text file that
// is opened and closed for each line, so it can be read, moved or deleted
// between ticks.

// The log settings as the "Log Options  " group holds them, read at each step.
struct LogSettings {
  LogModeChecks mode;
  int threshold = 50;    // spLog, whole milliseconds
  std::string fileName;  // edLog
};

// Where log lines go. The real one is PosixFileAppender; tests pass a fake
// that can refuse to write.
class FileAppender {
 public:
  virtual ~FileAppender() = default;
  // Whether `path` names an existing directory.
  virtual bool DirectoryExists(const std::string& path) const = 0;
  // Appends `bytes` at the end of the file `path`, creating it when missing.
  // The file is closed again on every path. Returns the system's error, or
  // an empty error_code when everything was written.
  virtual std::error_code Append(const std::string& path, std::string_view bytes) = 0;
};

// Appends with open/write/close. The open does not block on a FIFO without a
// reader (it fails instead) and leaves no descriptor to child processes. A
// line is written whole or not at all (AppendRecord): a full disk leaves the
// file ending at its last whole line.
// Stateless; any thread may call it.
class PosixFileAppender final : public FileAppender {
 public:
  bool DirectoryExists(const std::string& path) const override;
  std::error_code Append(const std::string& path, std::string_view bytes) override;
};

// A write(2) replacement, so tests can feed short writes and interruptions.
using WriteCall = std::function<ssize_t(int fd, const void* data, std::size_t size)>;

// Writes all of `bytes` to `fd`, going on after short writes and after
// writes interrupted by a signal (EINTR). Returns the first other error; a
// write that takes nothing counts as EIO.
std::error_code WriteAll(int fd, std::string_view bytes, const WriteCall& write);

// One log line: "ddd dd mmm yyyy  hh:nn:ss, " + sampleText + "ms" + CR LF,
// as in "Mon 07 Dec 2026  14:05:09, 85ms\r\n".
std::string FormatLogLine(const LocalTime& time, std::string_view sampleText);

// Whether the mode asks for a line: always with "Write file all the time";
// with "Write file when" only when `comparison` is strictly above the
// threshold; never with "Don't write a log file" or no mode checked.
bool LogRuleHolds(const LogSettings& settings, double comparison);

// The log step at the end of a plotted tick. `sampleText` is this ping's
// sample text (the logged value, also when the average is compared);
// `comparison` is what the statistics step yielded: the sample's value, or
// the running average when the average is compared and the series holds at
// least two points.
//
// Writes nothing, silently, when the directory part of the log file name
// does not name an existing directory (an empty name or one without a '/'
// has none) or when the rule does not hold. Returns whether a line was
// written. A file that cannot be opened or written throws UserError with the
// system's description of the error ("Permission denied", "Is a directory");
// the file is closed by then. Nothing is kept between calls, so the next tick
// simply tries again.
bool LogStep(const LogSettings& settings, std::string_view sampleText, double comparison,
             const LocalClock& clock, FileAppender& appender);

}  // namespace quorvel
