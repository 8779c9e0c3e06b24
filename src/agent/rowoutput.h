#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "graph/sampleexport.h"

namespace quorvel {

// One destination of probe rows (--csv or --json): a file opened for
// appending, or standard output ("-").
//
// Every row reaches the file with one write(2) of its own, nothing is held
// back in a buffer of ours, so an agent that is killed loses at most the row
// being written. A row that does not fit (a full disk) is taken back
// (AppendRecord): the file always ends at its last whole row. A CSV file that is new or empty gets the header first; a
// CSV file that already holds rows must start with the same header, so that
// rows of another shape are never appended to it. Owns its descriptor
// (standard output is never closed). Write may be called from any thread.
class RowOutput {
 public:
  // Opens `path` (created with mode 0666 less the umask when missing) and
  // writes the header where one is due. Nothing and a message naming the file
  // when that fails.
  static std::unique_ptr<RowOutput> Open(const std::string& path, ExportFormat format,
                                         std::string& error);
  ~RowOutput();
  RowOutput(const RowOutput&) = delete;
  RowOutput& operator=(const RowOutput&) = delete;

  // Appends the row of `target`. A stream that cannot take it at once (a
  // pipe whose reader is slow) is waited for in steps of 100 ms, for as long
  // as `giveUp` (when given) says false. False when the row could not be
  // written whole; `Error()` then tells why, and every later call fails at
  // once.
  bool Write(const ExportRow& row, const std::string& target,
             const std::function<bool()>& giveUp = {});

  // Appends one line of another kind (an error, an alert, a summary: a JSON
  // object and its line end) to a JSON Lines output; a CSV output, whose
  // columns are fixed, takes only probe rows and ignores it (true). Fails
  // as Write does.
  bool WriteEvent(const std::string& jsonLine, const std::function<bool()>& giveUp = {});

  bool ToStandardOutput() const { return fd_ == 1; }
  const std::string& Path() const { return path_; }
  std::string Error() const;

 private:
  RowOutput(int fd, std::string path, ExportFormat format);
  bool Append(const std::string& line, const std::function<bool()>& giveUp);

  const int fd_;
  const std::string path_;
  const ExportFormat format_;
  mutable std::mutex mutex_;
  std::string error_;  // guarded by mutex_
};

// WriteAll of base/fileio.h waiting until `fd` takes data (in steps of
// 100 ms, until `giveUp`, when given, says true). False (errno set) on
// failure.
bool WriteAll(int fd, const std::string& bytes, const std::function<bool()>& giveUp = {});

}  // namespace quorvel
