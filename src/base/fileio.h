#pragma once

#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <system_error>

namespace quorvel {

// Writing files: the one write loop and the one whole-file replace of the
// program. Any thread.

// A write(2) replacement, so tests can feed short writes and interruptions.
using WriteCall = std::function<ssize_t(int fd, const void* data, std::size_t size)>;

struct WriteOptions {
  WriteCall write;  // ::write when empty
  // Wait for the descriptor to take data (poll, in steps of 100 ms) before
  // each write, asking `giveUp` after each step that found it full: a pipe
  // whose reader is slow is waited for, not blocked on. A descriptor whose
  // reader is gone fails at once with EPIPE.
  bool waitUntilReady = false;
  std::function<bool()> giveUp;
};

// Writes all of `bytes` to `fd`, going on after short writes and after
// writes interrupted by a signal. Returns the first other error (a write
// that takes nothing is EIO, giving up is ETIMEDOUT), or no error.
std::error_code WriteAll(int fd, std::string_view bytes, const WriteOptions& options = {});

// Appends `bytes` to `fd` (a descriptor opened with O_APPEND) as one record:
// all of it or none of it. After a write that fails or takes only part of
// the record (a full disk), a regular file is cut back to the size it had
// before the call, so it still ends at its last whole record. Returns the
// write's error (its message() is the system's text, as strerror gives it),
// or no error. On a pipe or a terminal nothing can be taken back: the error
// is returned as it is. Should the cut itself fail (an I/O error), the part
// stays and the write's error is still what is returned.
std::error_code AppendRecord(int fd, std::string_view bytes, const WriteOptions& options = {});

// The system calls a whole-file replace is made of, one virtual function
// each, so a test can make any single step fail. Each failing step leaves
// its reason in errno. Handles are POSIX file descriptors.
class FileSteps {
 public:
  virtual ~FileSteps() = default;
  // False when a file exists at path and may not be written (a read-only
  // file must keep refusing writes even though a rename could replace it).
  virtual bool MayReplace(const std::string& path);
  // Creates a file that must not exist yet, for writing; -1 on failure.
  virtual int CreateNew(const std::string& path, mode_t mode);
  // Gives the new file the permission bits of the file it replaces.
  virtual bool CopyMode(int fd, const std::string& from);
  virtual bool WriteAll(int fd, std::string_view bytes);
  virtual bool SyncFile(int fd);
  virtual bool CloseFile(int fd);
  virtual bool RenameOver(const std::string& from, const std::string& to);
  virtual void SyncDirectory(const std::string& directory);
  virtual void RemoveFile(const std::string& path);
};

// The real file system.
FileSteps& SystemFileSteps();

// How a file is replaced; each writer of the program chooses its own.
struct ReplacePolicy {
  // Write through a symbolic link at the path (the settings file), rather
  // than replace the link with a plain file (images, exports).
  bool followSymlink = false;
  // Refuse to replace an existing file that may not be written, and give
  // the new file the permission bits of the one it replaces.
  bool respectExisting = false;
  // Flush the file, and the folder after the rename, to the disk.
  bool sync = false;
  // Permission bits of a file that did not exist, less the umask.
  mode_t createMode = 0666;
};

// Creates or replaces the file `path` whole with `bytes`: they are written to
// a new temporary file beside it (".<name>.tmp<pid>-<n>", or
// ".quorvel.tmp<pid>-<n>" for a name near the length limit), which is then
// renamed over it, so readers see either the old file or the complete new
// one. On any failure the temporary file is removed, the old file is left as
// it was, and the error says why.
std::error_code ReplaceFileWhole(const std::string& path, std::string_view bytes,
                                 const ReplacePolicy& policy = {},
                                 FileSteps& steps = SystemFileSteps());

// The n-th name tried for a new file at `path`: the path itself for n = 1,
// then "-2", "-3" ... before its extension (the part of the name from its
// last "."; none for a name without one or starting with it):
// "/a/graph-20261207-1405.png" -> "/a/graph-20261207-1405-2.png".
std::string NumberedName(const std::string& path, int n);

// Writes `bytes` as a new file: at `path` when no file of that name exists,
// else at the first NumberedName that is free, so an existing file is never
// replaced (two captures in one minute keep both). The bytes go to a
// temporary beside it, which is then given the name without replacing
// anything (a rename that refuses to replace, or a hard link where the file
// system has no such rename), so readers never see a part of the file.
// `written` receives the name used. Gives up after `maxNames` names.
std::error_code WriteNewFile(const std::string& path, std::string_view bytes,
                             std::string* written = nullptr, int maxNames = 1000);

// The name of the temporaries ReplaceFileWhole makes for `path`, without the
// "<pid>-<n>" that ends it.
std::string ReplaceTemporaryPrefix(const std::string& path);

}  // namespace quorvel
