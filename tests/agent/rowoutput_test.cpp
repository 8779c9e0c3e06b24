#include "agent/rowoutput.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace quorvel {
namespace {

namespace fs = std::filesystem;

class RowOutputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::path(QUORVEL_TEST_TMP) / ("rowoutput-" + std::to_string(::getpid()));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }

  std::string PathOf(const std::string& name) const { return (folder_ / name).string(); }
  static std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
  }
  static void Put(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }

  fs::path folder_;
};

const ExportRow kReply{1'733'666'709'123, 3600, 47, 0};
const ExportRow kLost{1'733'666'710'123, 3600, std::nullopt, 800};
const std::string kCsvHeader = "target,time,unix_ms,reply_ms,lost,plotted_ms\r\n";

TEST_F(RowOutputTest, ANewFileGetsTheHeaderThenTheRowsOfTheWindowsExport) {
  for (const ExportFormat format : {ExportFormat::Csv, ExportFormat::JsonLines}) {
    const std::string path = PathOf(format == ExportFormat::Csv ? "new.csv" : "new.jsonl");
    std::string error;
    {
      auto output = RowOutput::Open(path, format, error);
      ASSERT_TRUE(output) << error;
      EXPECT_FALSE(output->ToStandardOutput());
      // Each row is in the file as soon as Write returns.
      ASSERT_TRUE(output->Write(kReply, "127.0.0.1"));
      const std::string a = "127.0.0.1";
      EXPECT_EQ(Contents(path), ExportHeader(format, true) + ExportLine(format, kReply, &a));
      ASSERT_TRUE(output->Write(kLost, "a,\"b\""));
    }
    const std::string a = "127.0.0.1", b = "a,\"b\"";
    EXPECT_EQ(Contents(path), ExportHeader(format, true) + ExportLine(format, kReply, &a) +
                                  ExportLine(format, kLost, &b));
  }
  EXPECT_EQ(Contents(PathOf("new.csv")),
            kCsvHeader +
                "127.0.0.1,2024-12-08T15:05:09.123+01:00,1733666709123,0.047,0,0\r\n"
                "\"a,\"\"b\"\"\",2024-12-08T15:05:10.123+01:00,1733666710123,,1,800\r\n");
}

TEST_F(RowOutputTest, TheHeaderIsWrittenOnceAcrossRuns) {
  const std::string path = PathOf("rows.csv");
  Put(path, "");  // an empty file counts as new
  std::string error;
  for (int run = 0; run < 3; ++run) {
    auto output = RowOutput::Open(path, ExportFormat::Csv, error);
    ASSERT_TRUE(output) << error;
    ASSERT_TRUE(output->Write(kReply, "t"));
  }
  const std::string t = "t";
  const std::string row = ExportLine(ExportFormat::Csv, kReply, &t);
  EXPECT_EQ(Contents(path), kCsvHeader + row + row + row);

  // JSON Lines has no header: rows are simply appended.
  const std::string json = PathOf("rows.jsonl");
  Put(json, "{\"earlier\":1}\n");
  auto output = RowOutput::Open(json, ExportFormat::JsonLines, error);
  ASSERT_TRUE(output) << error;
  ASSERT_TRUE(output->Write(kLost, "t"));
  EXPECT_EQ(Contents(json), "{\"earlier\":1}\n" + ExportLine(ExportFormat::JsonLines, kLost, &t));
}

TEST_F(RowOutputTest, RefusesACsvFileOfAnotherShape) {
  const std::string path = PathOf("window.csv");
  const std::string windowExport = ExportHeader(ExportFormat::Csv, false) + "x\r\n";
  Put(path, windowExport);
  std::string error;
  EXPECT_FALSE(RowOutput::Open(path, ExportFormat::Csv, error));
  EXPECT_EQ(error, path + ": the file holds rows of another shape (its first line is not "
                          "\"target,time,unix_ms,reply_ms,lost,plotted_ms\")");
  EXPECT_EQ(Contents(path), windowExport);  // left as it was
}

TEST_F(RowOutputTest, FailuresNameTheFile) {
  std::string error;
  const std::string missing = PathOf("no/such/folder.csv");
  EXPECT_FALSE(RowOutput::Open(missing, ExportFormat::Csv, error));
  EXPECT_EQ(error, missing + ": No such file or directory");

  // A device that refuses every byte: the header fails at once; rows fail
  // when written, and every later row too.
  EXPECT_FALSE(RowOutput::Open("/dev/full", ExportFormat::Csv, error));
  EXPECT_EQ(error, "/dev/full: No space left on device");
  auto output = RowOutput::Open("/dev/full", ExportFormat::JsonLines, error);
  ASSERT_TRUE(output);
  EXPECT_FALSE(output->Write(kReply, "t"));
  EXPECT_EQ(output->Error(), "/dev/full: No space left on device");
  EXPECT_FALSE(output->Write(kReply, "t"));
}

TEST_F(RowOutputTest, AStalledPipeIsWaitedForUntilGivenUp) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  ::fcntl(fds[1], F_SETPIPE_SZ, 4096);
  // Fill the pipe so that the next write cannot go through.
  ::fcntl(fds[1], F_SETFL, O_NONBLOCK);
  const std::string filler(65536, 'x');
  while (::write(fds[1], filler.data(), filler.size()) > 0) {
  }
  ::fcntl(fds[1], F_SETFL, 0);
  int asked = 0;
  EXPECT_FALSE(WriteAll(fds[1], "row\n", [&] { return ++asked >= 3; }));
  EXPECT_EQ(errno, ETIMEDOUT);
  EXPECT_EQ(asked, 3);
  // Once the reader takes some, the row goes through.
  char sink[65536];
  ASSERT_GT(::read(fds[0], sink, sizeof sink), 0);
  EXPECT_TRUE(WriteAll(fds[1], "row\n", [] { return true; }));
  ::close(fds[0]);
  // No reader at all: an error, not a signal and not a wait.
  EXPECT_FALSE(WriteAll(fds[1], "row\n"));
  ::close(fds[1]);
}

}  // namespace
}  // namespace quorvel
