#include "app/helpfile.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace quorvel {
namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class HelpFileTest : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/quorvel-help-XXXXXX";
    dir_ = mkdtemp(pattern);
    path_ = dir_ + "/quorvel.html";
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }
  std::string dir_;
  std::string path_;
};

TEST(PathBesideExecutable, ReplacesOrAddsTheExtension) {
  EXPECT_EQ(PathBesideExecutable("/opt/q/build/quorvel", ".ini"), "/opt/q/build/quorvel.ini");
  EXPECT_EQ(PathBesideExecutable("/opt/q.d/quorvel", ".html"), "/opt/q.d/quorvel.html");
  EXPECT_EQ(PathBesideExecutable("/opt/q/quorvel.bin", ".ini"), "/opt/q/quorvel.ini");
}

TEST_F(HelpFileTest, WritesAFreshCopyOverAnOldOne) {
  { std::ofstream(path_) << "old and longer content"; }
  EXPECT_EQ(InstallHelpFile(path_, "<html>new</html>"), "");
  EXPECT_EQ(ReadAll(path_), "<html>new</html>");
  RemoveHelpFile(path_);
  EXPECT_FALSE(FileExists(path_));
  RemoveHelpFile(path_);  // nothing there: nothing happens
}

TEST_F(HelpFileTest, AFolderThatCannotTakeItGivesTheMessage) {
  const std::string missing = dir_ + "/no/such/folder/quorvel.html";
  EXPECT_EQ(InstallHelpFile(missing, "x"),
            "Cannot create file \"" + missing + "\". No such file or directory");
}

TEST_F(HelpFileTest, AFileThatCannotBeDeletedStaysAndCounts) {
  // A non-empty folder at the path cannot be unlinked: it stays.
  ASSERT_EQ(mkdir(path_.c_str(), 0755), 0);
  { std::ofstream(path_ + "/inside") << "x"; }
  EXPECT_EQ(InstallHelpFile(path_, "doc"), "");
  EXPECT_TRUE(FileExists(path_ + "/inside"));
}

}  // namespace
}  // namespace quorvel
