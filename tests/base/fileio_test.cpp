#include "base/fileio.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "common/fulldisk.h"

namespace quorvel {
namespace {

std::string Scratch(const std::string& name) {
  std::filesystem::create_directories(QUORVEL_TEST_TMP);
  return std::string(QUORVEL_TEST_TMP) + "/fileio-" + name + "-" + std::to_string(::getpid());
}

off_t SizeOf(int fd) {
  struct stat info {};
  return ::fstat(fd, &info) == 0 ? info.st_size : -1;
}

// A write that takes part of the record and then fails leaves nothing of it.
TEST(AppendRecord, APartialRecordIsTakenBack) {
  const std::string path = Scratch("partial");
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_FALSE(AppendRecord(fd, "first,row\r\n"));
  int calls = 0;
  WriteOptions halfThenFull;
  halfThenFull.write = [&](int f, const void* data, std::size_t size) -> ssize_t {
    if (++calls == 1) return ::write(f, data, size / 2);
    errno = ENOSPC;
    return -1;
  };
  const std::error_code error = AppendRecord(fd, "second,row\r\n", halfThenFull);
  EXPECT_EQ(error, std::errc::no_space_on_device);
  EXPECT_EQ(error.message(), "No space left on device");
  EXPECT_EQ(SizeOf(fd), 11);
  EXPECT_FALSE(AppendRecord(fd, "third,row\r\n"));
  EXPECT_EQ(SizeOf(fd), 22);
  ::close(fd);
  std::filesystem::remove(path);
}

// The real thing: a disk that fills up in the middle of a record.
TEST(AppendRecord, OnAFullDiskTheFileEndsAtItsLastWholeRecord) {
  std::string why;
  const int status = InFullTmpfs(Scratch("full"), "4k", [](const std::string& folder) {
    const int fd = ::open((folder + "/rows").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) return 10;
    const std::string record(70, 'r');  // 4096 is no multiple of 70
    std::error_code error;
    int records = 0;
    while (!(error = AppendRecord(fd, record)) && records < 1000) ++records;
    if (error != std::errc::no_space_on_device) return 11;
    if (records == 0 || SizeOf(fd) != 70 * records) return 12;
    return 0;
  }, why);
  if (status < 0) GTEST_SKIP() << "no tmpfs of our own (" << why << "): run as root";
  EXPECT_EQ(status, 0);
}

}  // namespace
}  // namespace quorvel
