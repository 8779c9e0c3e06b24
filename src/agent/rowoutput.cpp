#include "agent/rowoutput.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/fileio.h"

namespace quorvel {

bool WriteAll(int fd, const std::string& bytes, const std::function<bool()>& giveUp) {
  WriteOptions options;
  options.waitUntilReady = true;
  options.giveUp = giveUp;
  const std::error_code error = quorvel::WriteAll(fd, bytes, options);
  if (error) errno = error.value();
  return !error;
}

namespace {

// The first `size` bytes of a file, or fewer when it is shorter.
bool ReadStart(const std::string& path, std::size_t size, std::string& start) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  start.assign(size, '\0');
  std::size_t got = 0;
  while (got < size) {
    const ssize_t n = ::read(fd, start.data() + got, size - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  ::close(fd);
  start.resize(got);
  return true;
}

}  // namespace

RowOutput::RowOutput(int fd, std::string path, ExportFormat format)
    : fd_(fd), path_(std::move(path)), format_(format) {}

RowOutput::~RowOutput() {
  if (fd_ > 2) ::close(fd_);
}

std::unique_ptr<RowOutput> RowOutput::Open(const std::string& path, ExportFormat format,
                                           std::string& error) {
  const std::string header = ExportHeader(format, true);
  if (path == "-") {
    if (!WriteAll(1, header)) {
      error = "standard output: " + std::string(std::strerror(errno));
      return nullptr;
    }
    return std::unique_ptr<RowOutput>(new RowOutput(1, path, format));
  }

  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
  if (fd < 0) {
    error = path + ": " + std::strerror(errno);
    return nullptr;
  }
  std::unique_ptr<RowOutput> output(new RowOutput(fd, path, format));
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    error = path + ": " + std::strerror(errno);
    return nullptr;
  }
  const bool empty = !S_ISREG(info.st_mode) || info.st_size == 0;
  if (!header.empty() && !empty) {
    std::string start;
    if (!ReadStart(path, header.size(), start)) {
      error = path + ": cannot read its first line to check its columns: " + std::strerror(errno);
      return nullptr;
    }
    if (start != header) {
      error = path + ": the file holds rows of another shape (its first line is not \"" +
              header.substr(0, header.size() - 2) + "\")";
      return nullptr;
    }
  }
  if (empty) {
    if (const std::error_code failed = AppendRecord(fd, header)) {
      error = path + ": " + failed.message();
      return nullptr;
    }
  }
  return output;
}

bool RowOutput::Write(const ExportRow& row, const std::string& target,
                      const std::function<bool()>& giveUp) {
  return Append(ExportLine(format_, row, &target), giveUp);
}

bool RowOutput::WriteEvent(const std::string& jsonLine, const std::function<bool()>& giveUp) {
  if (format_ != ExportFormat::JsonLines) return true;
  return Append(jsonLine, giveUp);
}

bool RowOutput::Append(const std::string& line, const std::function<bool()>& giveUp) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!error_.empty()) return false;
  WriteOptions options;
  options.waitUntilReady = true;
  options.giveUp = giveUp;
  const std::error_code error = AppendRecord(fd_, line, options);
  if (!error) return true;
  error_ = (fd_ == 1 ? std::string("standard output") : path_) + ": " + error.message();
  return false;
}

std::string RowOutput::Error() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return error_;
}

}  // namespace quorvel
