#include "output/writegraphimage.h"

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/fileio.h"
#include "testraster.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// A fresh, empty directory per test.
class WriteGraphImageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::path(QUORVEL_TEST_TMP) / ("output-" + std::string(info->name()) + "-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::permissions(dir_, fs::perms::owner_all, ignored);
    fs::remove_all(dir_, ignored);
  }

  static Bytes ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  static void WriteFile(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path dir_;
  test::TestRaster raster_ = test::PatternRaster(31, 17);
};

TEST_F(WriteGraphImageTest, MemoryBufferGetsTheEncodedImage) {
  for (ImageType type : {ImageType::Bmp, ImageType::Jpeg, ImageType::Gif, ImageType::Png}) {
    Bytes expected;
    ASSERT_TRUE(EncodeImage(raster_.View(), type, 100, expected).ok());
    Bytes buffer(5, 0xEE);  // old content is replaced
    const Status result = WriteGraphImage(raster_.View(), type, ImageDestination::Memory(buffer), 100);
    ASSERT_TRUE(result.ok()) << result.message();
    EXPECT_EQ(buffer, expected);
  }
  // The quality reaches the JPEG encoder.
  Bytes q90, q100;
  ASSERT_TRUE(WriteGraphImage(raster_.View(), ImageType::Jpeg, ImageDestination::Memory(q90), 90));
  ASSERT_TRUE(WriteGraphImage(raster_.View(), ImageType::Jpeg, ImageDestination::Memory(q100), 100));
  EXPECT_LT(q90.size(), q100.size());
}

TEST_F(WriteGraphImageTest, FileIsCreatedAndReplacedWhole) {
  const fs::path target = dir_ / "Ping - milliseconds-2024Mar05-1437.png";
  WriteFile(target, std::string(100000, 'x'));  // longer than the image
  const mode_t old = ::umask(022);
  const Status result =
      WriteGraphImage(raster_.View(), ImageType::Png, ImageDestination::File(target.string()), 90);
  ::umask(old);
  ASSERT_TRUE(result.ok()) << result.message();
  Bytes expected;
  ASSERT_TRUE(EncodeImage(raster_.View(), ImageType::Png, 90, expected).ok());
  EXPECT_EQ(ReadFile(target), expected);
  EXPECT_EQ(Entries(), std::vector<std::string>{target.filename().string()});
  EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);
}

TEST_F(WriteGraphImageTest, NameAtTheLengthLimit) {
  const std::string name = std::string(251, 'g') + ".png";  // 255 characters
  const Status result =
      WriteGraphImage(raster_.View(), ImageType::Png, ImageDestination::File((dir_ / name).string()), 90);
  ASSERT_TRUE(result.ok()) << result.message();
  EXPECT_EQ(Entries(), std::vector<std::string>{name});
}

TEST_F(WriteGraphImageTest, MissingFolderGivesTheSystemText) {
  const fs::path target = dir_ / "missing" / "graph.jpg";
  const Status result =
      WriteGraphImage(raster_.View(), ImageType::Jpeg, ImageDestination::File(target.string()), 90);
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.message(), "Cannot create file \"" + target.string() + "\". No such file or directory");
  EXPECT_TRUE(Entries().empty());
}

TEST_F(WriteGraphImageTest, FolderThatIsAFile) {
  WriteFile(dir_ / "plain", "x");
  const fs::path target = dir_ / "plain" / "graph.gif";
  const Status result =
      WriteGraphImage(raster_.View(), ImageType::Gif, ImageDestination::File(target.string()), 90);
  ASSERT_FALSE(result.ok());
  EXPECT_NE(result.message().find("Not a directory"), std::string::npos) << result.message();
}

TEST_F(WriteGraphImageTest, FailedRenameLeavesNoTemporary) {
  // The name is taken by a directory: the temporary is written, the rename
  // fails, and the temporary must go.
  fs::create_directory(dir_ / "graph.bmp");
  const Status result = WriteGraphImage(raster_.View(), ImageType::Bmp,
                                             ImageDestination::File((dir_ / "graph.bmp").string()), 90);
  ASSERT_FALSE(result.ok());
  EXPECT_NE(result.message().find("Is a directory"), std::string::npos) << result.message();
  EXPECT_EQ(Entries(), std::vector<std::string>{"graph.bmp"});
  EXPECT_TRUE(fs::is_directory(dir_ / "graph.bmp"));
}

TEST_F(WriteGraphImageTest, FailedWriteKeepsTheOldFile) {
  // A file-size limit makes the write fail part-way, as a full disk would.
  const fs::path target = dir_ / "graph.bmp";
  WriteFile(target, "old image");
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  struct sigaction oldAction {};
  ASSERT_EQ(::sigaction(SIGXFSZ, &ignore, &oldAction), 0);
  rlimit oldLimit{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &oldLimit), 0);
  rlimit small = oldLimit;
  small.rlim_cur = 4096;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const test::TestRaster big = test::PatternRaster(400, 300);
  const Status result =
      WriteGraphImage(big.View(), ImageType::Bmp, ImageDestination::File(target.string()), 90);
  ::setrlimit(RLIMIT_FSIZE, &oldLimit);
  ::sigaction(SIGXFSZ, &oldAction, nullptr);
  ASSERT_FALSE(result.ok());
  EXPECT_NE(result.message().find("File too large"), std::string::npos) << result.message();
  const Bytes kept = ReadFile(target);
  EXPECT_EQ(std::string(kept.begin(), kept.end()), "old image");
  EXPECT_EQ(Entries(), std::vector<std::string>{"graph.bmp"});
}

TEST_F(WriteGraphImageTest, ReadOnlyFolder) {
  fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec);
  if (::access(dir_.c_str(), W_OK) == 0) GTEST_SKIP() << "this user may write anywhere";
  const fs::path target = dir_ / "graph.png";
  const Status result =
      WriteGraphImage(raster_.View(), ImageType::Png, ImageDestination::File(target.string()), 90);
  ASSERT_FALSE(result.ok());
  EXPECT_NE(result.message().find("Permission denied"), std::string::npos) << result.message();
  EXPECT_TRUE(Entries().empty());
}

TEST_F(WriteGraphImageTest, EncodeFailureWritesNothing) {
  const RasterView empty{nullptr, 0, 0, 0, PixelFormat::Xrgb32};
  const fs::path target = dir_ / "graph.jpg";
  WriteFile(target, "old");
  EXPECT_FALSE(WriteGraphImage(empty, ImageType::Jpeg, ImageDestination::File(target.string()), 90).ok());
  EXPECT_EQ(Entries(), std::vector<std::string>{"graph.jpg"});
  EXPECT_EQ(ReadFile(target).size(), 3u);
}

TEST(NumberedName, BeforeTheExtensionOfTheName) {
  EXPECT_EQ(NumberedName("/a/graph-20261207-1405.png", 1), "/a/graph-20261207-1405.png");
  EXPECT_EQ(NumberedName("/a/graph-20261207-1405.png", 2), "/a/graph-20261207-1405-2.png");
  EXPECT_EQ(NumberedName("/a.b/graph", 3), "/a.b/graph-3");
  EXPECT_EQ(NumberedName("/a/.hidden", 2), "/a/.hidden-2");
}

// A new file never replaces one: the taken names are skipped, what was
// there stays as it was, and no temporary is left behind.
TEST_F(WriteGraphImageTest, NewFilesTakeTheNextFreeName) {
  const fs::path base = dir_ / "graph.png";
  WriteFile(base, "first");
  WriteFile(dir_ / "graph-3.png", "third");
  std::string written;
  ASSERT_FALSE(WriteNewFile(base.string(), "a", &written));
  EXPECT_EQ(written, (dir_ / "graph-2.png").string());
  ASSERT_FALSE(WriteNewFile(base.string(), "b", &written));
  EXPECT_EQ(written, (dir_ / "graph-4.png").string());
  EXPECT_EQ(ReadFile(base), (Bytes{'f', 'i', 'r', 's', 't'}));
  EXPECT_EQ(ReadFile(dir_ / "graph-3.png"), (Bytes{'t', 'h', 'i', 'r', 'd'}));
  EXPECT_EQ(ReadFile(dir_ / "graph-4.png"), Bytes{'b'});
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 4);
  // Every name taken: an error, and nothing left.
  EXPECT_EQ(WriteNewFile(base.string(), "c", nullptr, 4), std::errc::file_exists);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 4);
  EXPECT_EQ(WriteNewFile((dir_ / "missing" / "graph.png").string(), "c"), std::errc::no_such_file_or_directory);
}

}  // namespace
}  // namespace quorvel
