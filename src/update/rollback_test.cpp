#include <algorithm>
#include <cstdlib>

#include <gtest/gtest.h>
#include <boost/filesystem/directory.hpp>
#include <boost/filesystem/operations.hpp>

#include "temp_root.h"
#include "update/update.h"

namespace fs = boost::filesystem;

namespace {
class Rollback : public TempRootTest {
 protected:
  void SetUp() override {
    TempRootTest::SetUp();
    app_ = root_ / "app";
    rollback_ = root_ / "tmp/poker_rollback/0123abcd";
  }

  fs::path app_, rollback_;
};

TEST_F(Rollback, AFailedCopyIsPutBackAsItWas) {
  writeFile(app_ / "a/tool", "old");
  fs::permissions(app_ / "a/tool", fs::perms(0755));
  writeFile(app_ / "Res/r", "old resource");
  fs::create_directories(app_ / "A");
  fs::create_directory_symlink(app_ / "A", app_ / "Current");
  writeFile(app_ / "F/Versions/A/X", "old X");
  fs::create_directory_symlink("A", app_ / "F/Versions/Current");
  writeFile(app_ / "x.asar", "original archive");
  writeFile(app_ / "Info.plist", "old plist");
  // The first update is applied whole, the second fails: both share the rollback folder.
  const auto update = app_ / "update_1";
  writeFile(update / "a/tool", "new");
  writeFile(update / "b/added", "added");
  fs::create_symlink("a/tool", update / "Res");
  fs::create_symlink("B", update / "Current");
  writeFile(update / "F/Versions/Current/X", "new X");
  writeFile(update / "x.asar", "new archive");
  writeFile(update / "x.asar_tmp", "new archive too");
  writeFile(app_ / "update_2/Info.plist/child", "fails: its parent is a file");

  std::vector<fs::path> movedAside;
  testing::internal::CaptureStdout();
  copyFolder(update, app_, rollback_, movedAside);
  EXPECT_THROW(copyFolder(app_ / "update_2", app_, rollback_, movedAside), std::runtime_error);
  const bool complete = rollback(app_, rollback_, movedAside);
  const auto out = testing::internal::GetCapturedStdout();

  EXPECT_TRUE(complete);
  EXPECT_EQ(readFile(app_ / "a/tool"), "old");
  EXPECT_EQ(fs::status(app_ / "a/tool").permissions(), 0755);
  EXPECT_FALSE(fs::is_symlink(app_ / "Res"));
  EXPECT_EQ(readFile(app_ / "Res/r"), "old resource");
  EXPECT_EQ(fs::read_symlink(app_ / "Current"), app_ / "A");
  EXPECT_EQ(readFile(app_ / "b/added"), "added");  // nothing to put back for it
  // Folders that only led to old versions replace nothing.
  EXPECT_EQ(fs::read_symlink(app_ / "F/Versions/Current"), "A");
  EXPECT_EQ(readFile(app_ / "F/Versions/A/X"), "old X");
  EXPECT_EQ(readFile(app_ / "Info.plist"), "old plist");
  // The second name for one target does not push the original out.
  EXPECT_EQ(readFile(app_ / "x.asar"), "original archive");
  EXPECT_NE(out.find("rollbacking " + (rollback_ / "a/tool").string() + " into " +
                     (app_ / "a/tool").string() + "\n"),
            std::string::npos)
      << out;
}

TEST_F(Rollback, LeavesTheUpdateFolderAsItWas) {
  writeFile(app_ / "tool", "old tool");
  fs::permissions(app_ / "tool", fs::perms(0755));  // the update's 0644 makes it a copy
  writeFile(app_ / "res", "old res");
  const auto update = app_ / "update_1";
  writeFile(update / "tool", "new tool");
  writeFile(update / "res", "new res");
  writeFile(update / "added", "added");
  fs::permissions(update / "added", fs::perms(0600));
  fs::create_symlink("res", update / "link");
  // A start killed earlier has put this one in place as a second name of the update's file.
  writeFile(update / "placed", "placed");
  fs::create_hard_link(update / "placed", app_ / "placed");
  fs::create_directories(app_ / "update_2");
  makeSocket(app_ / "update_2/socket");
  const auto snapshot = [&update] {
    std::vector<std::string> items;
    for (const auto& entry : fs::recursive_directory_iterator(update)) {
      const auto status = fs::symlink_status(entry.path());
      items.push_back(entry.path().string() + " " + std::to_string(status.permissions()) + " " +
                      (fs::is_symlink(status) ? fs::read_symlink(entry.path()).string()
                                              : readFile(entry.path())));
    }
    std::sort(items.begin(), items.end());
    return items;
  };
  const auto before = snapshot();

  std::vector<fs::path> movedAside;
  testing::internal::CaptureStdout();
  copyFolder(update, app_, rollback_, movedAside);
  EXPECT_THROW(copyFolder(app_ / "update_2", app_, rollback_, movedAside), std::runtime_error);
  EXPECT_TRUE(rollback(app_, rollback_, movedAside));
  testing::internal::GetCapturedStdout();

  EXPECT_EQ(snapshot(), before);
  EXPECT_EQ(readFile(app_ / "tool"), "old tool");
  EXPECT_EQ(fs::status(app_ / "tool").permissions(), 0755);
  EXPECT_EQ(readFile(app_ / "res"), "old res");
  EXPECT_FALSE(fs::exists(rollback_ / "placed"));  // the update's own file is no old version
}

TEST_F(Rollback, WhatCannotGoBackIsKeptAndReported) {
  const std::string path = std::getenv("PATH");
  fs::create_directories(root_ / "no-dialog");
  setenv("PATH", (root_ / "no-dialog").c_str(), 1);
  const std::function<void()> cases[] = {
      [&] {  // a file against a folder that is not empty
        writeFile(rollback_ / "x", "old");
        writeFile(app_ / "x/inside", "new");
      },
      [&] { fs::create_directories(rollback_); },  // the old version is gone
  };
  for (const auto& arrange : cases) {
    fs::remove_all(app_);
    fs::remove_all(rollback_);
    arrange();
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_FALSE(rollback(app_, rollback_, {rollback_ / "x"}));
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "There was an error while rollbacking a failed update. You may need to reinstall "
              "the application.\n");
    EXPECT_TRUE(fs::exists(rollback_));
  }
  setenv("PATH", path.c_str(), 1);
}

TEST_F(Rollback, AFolderNeverMadeCountsAsEmpty) {
  testing::internal::CaptureStdout();
  EXPECT_TRUE(rollback(app_, rollback_, {}));
  deleteRollbackFolder(rollback_);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST_F(Rollback, DeletingNeverFollowsLinks) {
  writeFile(root_ / "outside/kept", "kept");
  fs::create_directories(rollback_ / "a");
  fs::create_directory_symlink(root_ / "outside", rollback_ / "a/link");

  testing::internal::CaptureStdout();
  deleteRollbackFolder(rollback_);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "deleting rollback folder " + rollback_.string() + "\n");
  EXPECT_FALSE(fs::exists(rollback_));
  EXPECT_EQ(readFile(root_ / "outside/kept"), "kept");
}
}  // namespace
