#include <sys/stat.h>

#include <cstdlib>

#include <gtest/gtest.h>
#include <boost/filesystem/directory.hpp>
#include <boost/filesystem/operations.hpp>

#include "temp_root.h"
#include "update/update.h"

namespace fs = boost::filesystem;

namespace {
// A folder on another file system than the test's root, made fresh for each test.
class AcrossFileSystems : public TempRootTest {
 protected:
  void SetUp() override {
    TempRootTest::SetUp();
    struct stat rootStatus, shmStatus;
    std::string pattern = "/dev/shm/launcher-test-XXXXXX";
    if (stat(root_.c_str(), &rootStatus) != 0 || stat("/dev/shm", &shmStatus) != 0 ||
        rootStatus.st_dev == shmStatus.st_dev || mkdtemp(&pattern[0]) == nullptr) {
      GTEST_SKIP() << "no second file system at /dev/shm beside " << root_;
    }
    other_ = pattern;
  }
  void TearDown() override {
    boost::system::error_code ignored;
    if (!other_.empty()) fs::remove_all(other_, ignored);
    TempRootTest::TearDown();
  }

  fs::path other_;
};

TEST_F(AcrossFileSystems, UpdatesAndRestoresWithTheRollbackFolderElsewhere) {
  const auto app = root_ / "app";
  const auto rollbackFolder = other_ / "poker_rollback/0123abcd";
  writeFile(app / "bin/tool", "old tool");
  fs::permissions(app / "bin/tool", fs::perms(0750));
  fs::create_symlink("tool", app / "bin/link");
  writeFile(app / "Res/deep/r", "old resource");
  fs::permissions(app / "Res/deep", fs::perms(0500));
  writeFile(app / "update_1/bin/tool", "new tool");
  fs::create_symlink("other", app / "update_1/bin/link");
  fs::create_symlink("bin/tool", app / "update_1/Res");
  fs::create_directories(app / "update_2");
  makeSocket(app / "update_2/socket");

  std::vector<fs::path> movedAside;
  testing::internal::CaptureStdout();
  copyFolder(app / "update_1", app, rollbackFolder, movedAside);
  EXPECT_EQ(readFile(app / "bin/tool"), "new tool");
  EXPECT_EQ(readFile(rollbackFolder / "Res/deep/r"), "old resource");
  EXPECT_THROW(copyFolder(app / "update_2", app, rollbackFolder, movedAside), std::runtime_error);
  EXPECT_TRUE(rollback(app, rollbackFolder, movedAside));
  testing::internal::GetCapturedStdout();

  EXPECT_EQ(readFile(app / "bin/tool"), "old tool");
  EXPECT_EQ(fs::status(app / "bin/tool").permissions(), 0750);
  EXPECT_EQ(fs::read_symlink(app / "bin/link"), "tool");
  EXPECT_EQ(readFile(app / "Res/deep/r"), "old resource");
  EXPECT_EQ(fs::status(app / "Res/deep").permissions(), 0500);
  fs::permissions(app / "Res/deep", fs::perms(0700));
}

TEST_F(AcrossFileSystems, ANameOfTheLongestLengthMoves) {
  const std::string name(255, 'n');
  writeFile(root_ / name, "old");

  moveEntry(root_ / name, other_ / name);

  EXPECT_EQ(readFile(other_ / name), "old");
  EXPECT_FALSE(fs::exists(root_ / name));
}

TEST_F(AcrossFileSystems, AFailedMoveLeavesTheOriginalAndNoPartialCopy) {
  writeFile(root_ / "folder/a", "a");
  makeSocket(root_ / "folder/socket");
  writeFile(other_ / "folder", "in the way");

  EXPECT_THROW(moveEntry(root_ / "folder", other_ / "folder"), fs::filesystem_error);

  EXPECT_EQ(readFile(root_ / "folder/a"), "a");
  EXPECT_EQ(readFile(other_ / "folder"), "in the way");
  EXPECT_EQ(std::distance(fs::directory_iterator(other_), fs::directory_iterator()), 1);
}
}  // namespace
