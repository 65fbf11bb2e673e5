#include <sys/stat.h>

#include <gtest/gtest.h>
#include <boost/filesystem/operations.hpp>

#include "temp_root.h"
#include "update/journal.h"
#include "update/tree_copy.h"

namespace fs = boost::filesystem;

namespace {
class TreeCopy : public TempRootTest {
 protected:
  void SetUp() override {
    TempRootTest::SetUp();
    update_ = root_ / "app/update_1";
    app_ = root_ / "app";
    rollback_ = root_ / "tmp/poker_rollback/0123abcd";
    fs::create_directories(app_);
    fs::create_directories(rollback_);
    root = openFolder(app_);
    kept = {openFolder(rollback_), rollback_};
    journal_ = startJournal(app_, root);
  }

  void copy() { copyFolder(update_, app_, root, kept, journal_); }

  int mode(const fs::path& file) { return fs::status(file).permissions(); }

  fs::path update_, app_, rollback_;
  Folder root;
  RollbackFolder kept;
  Journal journal_;
};

TEST_F(TreeCopy, ReplacedEntriesGoAsideAndKeepTheirBits) {
  writeFile(app_ / "bin/tool", "old tool", 0755);
  writeFile(update_ / "bin/tool", "new tool", 0644);
  writeFile(update_ / "bin/new", "new", 0640);
  writeFile(app_ / "res/app.asar", "old archive", 0644);
  writeFile(update_ / "res/app.asar_tmp", "new archive", 0600);
  fs::create_symlink("new", update_ / "bin/latest");
  fs::create_symlink("nowhere", update_ / "bin/dangling");
  fs::create_directories(update_ / "res/folder");
  fs::create_directory_symlink(update_ / "res/folder", update_ / "res/folder-link");
  fs::create_directories(update_ / "empty");

  testing::internal::CaptureStdout();
  copy();
  const auto out = testing::internal::GetCapturedStdout();

  EXPECT_EQ(readFile(app_ / "bin/tool"), "new tool");
  EXPECT_EQ(mode(app_ / "bin/tool"), 0755);
  EXPECT_EQ(mode(app_ / "bin/new"), 0640);
  EXPECT_EQ(readFile(app_ / "res/app.asar"), "new archive");
  EXPECT_EQ(mode(app_ / "res/app.asar"), 0644);
  EXPECT_EQ(fs::read_symlink(app_ / "bin/latest"), "new");
  EXPECT_EQ(fs::read_symlink(app_ / "bin/dangling"), "nowhere");
  EXPECT_EQ(fs::read_symlink(app_ / "res/folder-link"), update_ / "res/folder");  // never entered
  EXPECT_FALSE(fs::exists(app_ / "empty"));
  EXPECT_FALSE(fs::exists(app_ / "res/app.asar_tmp"));

  EXPECT_EQ(readFile(rollback_ / "bin/tool"), "old tool");
  EXPECT_EQ(readFile(rollback_ / "res/app.asar"), "old archive");
  EXPECT_FALSE(fs::exists(rollback_ / "bin/new"));
  EXPECT_NE(out.find("copying " + (update_ / "res/app.asar_tmp").string() + " to " +
                     (app_ / "res/app.asar").string() + " using as rollback " +
                     (rollback_ / "res/app.asar").string() + "\n"),
            std::string::npos)
      << out;
}

TEST_F(TreeCopy, ALinkAtTheTargetIsMovedAsideNeverFollowed) {
  writeFile(update_ / "a/file", "new", 0644);
  fs::create_symlink("elsewhere", update_ / "a/link");
  writeFile(root_ / "outside", "untouched", 0644);
  fs::create_directories(app_ / "a");
  fs::create_symlink(root_ / "outside", app_ / "a/file");
  fs::create_symlink(root_ / "missing", app_ / "a/link");

  testing::internal::CaptureStdout();
  copy();
  testing::internal::GetCapturedStdout();

  EXPECT_EQ(readFile(root_ / "outside"), "untouched");
  EXPECT_FALSE(fs::is_symlink(app_ / "a/file"));
  EXPECT_EQ(readFile(app_ / "a/file"), "new");
  EXPECT_EQ(fs::read_symlink(app_ / "a/link"), "elsewhere");
  EXPECT_EQ(fs::read_symlink(rollback_ / "a/file"), root_ / "outside");
  EXPECT_EQ(fs::read_symlink(rollback_ / "a/link"), root_ / "missing");
}

TEST_F(TreeCopy, TheLauncherOwnNamesAreSkipped) {
  writeFile(app_ / "launcher.lock", "", 0644);
  const char* skipped[] = {"launcher.lock", "update_5/x", "old_update_6/y"};
  const char* copied[] = {"update_5b/z", "Lobby.app/launcher.lock", "Lobby.app/update_1/w"};
  for (const char* name : skipped) writeFile(update_ / name, "new", 0644);
  for (const char* name : copied) writeFile(update_ / name, "new", 0644);

  testing::internal::CaptureStdout();
  copy();
  const auto out = testing::internal::GetCapturedStdout();

  for (const char* name : skipped) {
    EXPECT_NE(out.find("skipping " + (update_ / name).string() + ": " + (app_ / name).string() +
                       " belongs to the launcher\n"),
              std::string::npos)
        << out;
  }
  EXPECT_EQ(readFile(app_ / "launcher.lock"), "");
  EXPECT_FALSE(fs::exists(app_ / "update_5"));
  EXPECT_FALSE(fs::exists(app_ / "old_update_6"));
  for (const char* name : copied) EXPECT_EQ(readFile(app_ / name), "new") << name;
}

TEST_F(TreeCopy, ANamedPipeIsRefusedUnopened) {
  fs::create_directories(update_);
  ASSERT_EQ(mkfifo((update_ / "pipe").c_str(), 0644), 0);

  testing::internal::CaptureStdout();
  try {
    copy();
    ADD_FAILURE() << "no copy error";
  } catch (const std::runtime_error& error) {
    const std::string prefix = "error copying file " + (update_ / "pipe").string() + " to " +
                               (app_ / "pipe").string() + " error:";
    EXPECT_EQ(std::string(error.what()).rfind(prefix, 0), 0u) << error.what();
    EXPECT_EQ(std::string(error.what()).back(), '\n');
  }
  testing::internal::GetCapturedStdout();
  EXPECT_FALSE(fs::exists(fs::symlink_status(app_ / "pipe")));
}

TEST(AsarRename, OnlyAnExactAsarTmpExtensionBecomesAsar) {
  const std::pair<const char*, const char*> cases[] = {
      {"/a/app.asar_tmp", "/a/app.asar"},
      {"/a/.asar_tmp", "/a/.asar"},
      {"/a/x.y.asar_tmp", "/a/x.y.asar"},
      {"/a/App.ASAR_TMP", "/a/App.ASAR_TMP"},
      {"/a/app.asar_tmp.bak", "/a/app.asar_tmp.bak"},
      {"/a/app.asar", "/a/app.asar"},
      {"/a/asar_tmp", "/a/asar_tmp"},
      {"/a.asar_tmp/x", "/a.asar_tmp/x"},
  };
  for (const auto& [target, expected] : cases) EXPECT_EQ(withAsarRename(target), expected);
}
}  // namespace
