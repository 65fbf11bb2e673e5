#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>

#include <gtest/gtest.h>
#include <boost/filesystem/directory.hpp>
#include <boost/filesystem/operations.hpp>

#include "locations/app_folder.h"
#include "temp_root.h"
#include "update/journal.h"
#include "update/rollback.h"
#include "update/tree_copy.h"

namespace fs = boost::filesystem;

namespace {
class Rollback : public TempRootTest {
 protected:
  void SetUp() override {
    TempRootTest::SetUp();
    app_ = root_ / "app";
    fs::create_directories(app_);
    root = openFolder(app_);
  }

  // A journal for the application folder with its rollback folder recorded and open.
  Journal start() {
    auto journal = startJournal(app_, root);
    folder_ = startRollbackFolder(app_, root, journal);
    rollback_ = folder_.shown;
    return journal;
  }

  void copy(const fs::path& update, Journal& journal) {
    copyFolder(update, app_, root, folder_, journal);
  }

  // Every entry below the application folder but the journal, with what it holds.
  std::vector<std::string> snapshotOfApp() const {
    return snapshot(app_, [](const fs::path& relative) { return relative == kJournalName; });
  }

  fs::path app_, rollback_;
  Folder root;
  RollbackFolder folder_;
};

TEST_F(Rollback, AFailedCopyIsPutBackAsItWas) {
  writeFile(app_ / "a/tool", "old", 0755);
  writeFile(app_ / "Res/r", "old resource");
  fs::create_directories(app_ / "A");
  fs::create_directory_symlink(app_ / "A", app_ / "Current");
  writeFile(app_ / "F/Versions/A/X", "old X");
  fs::create_directory_symlink("A", app_ / "F/Versions/Current");
  writeFile(app_ / "x.asar", "original archive");
  writeFile(app_ / "G/Versions/Current/lossy", "a framework's link lost to a folder");
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
  fs::create_directories(update / "G/Versions");
  fs::create_symlink("A", update / "G/Versions/Current");
  writeFile(app_ / "update_2/Info.plist/child", "fails: its parent is a file");
  const auto before = snapshotOfApp();

  auto journal = start();
  testing::internal::CaptureStdout();
  copy(update, journal);
  EXPECT_THROW(copy(app_ / "update_2", journal), std::runtime_error);
  const auto undo = rollback(app_, root, journal.records);
  const auto out = testing::internal::GetCapturedStdout();

  EXPECT_TRUE(undo.restored && undo.clean);
  EXPECT_EQ(snapshotOfApp(), before);
  EXPECT_EQ(readFile(app_ / "a/tool"), "old");
  EXPECT_EQ(fs::status(app_ / "a/tool").permissions(), 0755);
  EXPECT_FALSE(fs::is_symlink(app_ / "Res"));
  EXPECT_EQ(readFile(app_ / "Res/r"), "old resource");
  EXPECT_EQ(fs::read_symlink(app_ / "Current"), app_ / "A");
  EXPECT_FALSE(fs::exists(app_ / "b"));  // added, and the folder made for it
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

  // An undo cut short is done again: what went back already is passed over.
  testing::internal::CaptureStdout();
  EXPECT_TRUE(rollback(app_, root, journal.records).restored);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(snapshotOfApp(), before);
}

TEST_F(Rollback, LeavesTheUpdateFolderAsItWas) {
  writeFile(app_ / "tool", "old tool", 0755);  // the update's 0644 makes it a copy
  writeFile(app_ / "res", "old res");
  const auto update = app_ / "update_1";
  writeFile(update / "tool", "new tool");
  writeFile(update / "res", "new res");
  writeFile(update / "added", "added", 0600);
  fs::create_symlink("res", update / "link");
  // A start killed earlier has put this one in place as a second name of the update's file.
  writeFile(update / "placed", "placed");
  fs::create_hard_link(update / "placed", app_ / "placed");
  fs::create_directories(app_ / "update_2");
  makeSocket(app_ / "update_2/socket");
  const auto before = snapshot(update);

  auto journal = start();
  testing::internal::CaptureStdout();
  copy(update, journal);
  EXPECT_THROW(copy(app_ / "update_2", journal), std::runtime_error);
  EXPECT_TRUE(rollback(app_, root, journal.records).restored);
  testing::internal::GetCapturedStdout();

  EXPECT_EQ(snapshot(update), before);
  EXPECT_EQ(readFile(app_ / "tool"), "old tool");
  EXPECT_EQ(fs::status(app_ / "tool").permissions(), 0755);
  EXPECT_EQ(readFile(app_ / "res"), "old res");
}

TEST_F(Rollback, WhatCannotGoBackIsKeptAndReported) {
  const std::string path = std::getenv("PATH");
  fs::create_directories(root_ / "no-dialog");
  setenv("PATH", (root_ / "no-dialog").c_str(), 1);
  auto records = start().records;
  // A file against a folder that is not empty.
  writeFile(rollback_ / "x", "old");
  writeFile(app_ / "x/inside", "new");
  records.push_back({Change::keptFile, "x", "x", ".launcher-0123456789ab.tmp"});

  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  endUpdate(app_, root, records, Ending::laterStart);
  const auto out = testing::internal::GetCapturedStdout();

  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "There was an error while rollbacking a failed update. You may need to reinstall "
            "the application.\n");
  EXPECT_EQ(out, "rollbacking " + (rollback_ / "x").string() + " into " + (app_ / "x").string() +
                     "\nkeeping rollback folder " + rollback_.string() + "\n");
  EXPECT_EQ(readFile(rollback_ / "x"), "old");
  EXPECT_FALSE(fs::exists(app_ / kJournalName));
  setenv("PATH", path.c_str(), 1);
}

TEST_F(Rollback, AnEmptyRunLeavesNothing) {
  const auto records = start().records;
  testing::internal::CaptureStdout();
  endUpdate(app_, root, records, Ending::run);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "deleting rollback folder " + rollback_.string() + "\n");
  EXPECT_EQ(fs::directory_iterator(app_), fs::directory_iterator());
  EXPECT_FALSE(fs::exists(rollback_));
}

// What a crafted journal names, or one whose run saw its folders replaced by links leading out,
// or whose rollback folder another user replaced after a reboot emptied the temporary directory.
TEST_F(Rollback, NothingOutsideIsActedOn) {
  const auto outside = root_ / "outside";
  writeFile(outside / "victim", "untouched");
  writeFile(outside / "doc.txt", "untouched");
  writeFile(outside / "tree/file", "untouched");
  fs::create_directory_symlink(outside, app_ / "q.asar");
  const auto shared = root_ / "tmp/poker_rollback";
  fs::create_directories(shared / "inside/a");
  fs::create_directory_symlink(outside, shared / "inside/a/link");
  fs::create_directory_symlink(outside / "tree", shared / "swapped");
  const auto temporary = ".launcher-0123456789ab.tmp";
  const std::vector<JournalRecord> records = {
      {Change::rollbackFolder, (shared / "inside").string(), {}, {}},
      {Change::rollbackFolder, (shared / "swapped").string(), {}, {}},
      {Change::rollbackFolder, (shared / "inside/../swapped").string(), {}, {}},
      {Change::folderMade, "../outside/tree", {}, {}},
      {Change::added, "../outside/victim", {}, temporary},
      {Change::added, (outside / "victim").string(), {}, temporary},
      {Change::added, "q.asar/doc.txt", {}, temporary},
      {Change::keptFile, "q.asar/victim", "x", temporary},
      {Change::added, "never-made", {}, "Info.plist"},
  };
  writeFile(app_ / "Info.plist", "the client's");

  testing::internal::CaptureStdout();
  endUpdate(app_, root, records, Ending::laterStart);
  const auto out = testing::internal::GetCapturedStdout();

  for (const char* name : {"victim", "doc.txt", "tree/file"}) {
    EXPECT_EQ(readFile(outside / name), "untouched") << name;
  }
  EXPECT_EQ(readFile(app_ / "Info.plist"), "the client's");
  EXPECT_FALSE(fs::exists(shared / "inside"));
  EXPECT_TRUE(fs::is_symlink(shared / "swapped"));
  for (const auto& named :
       {(shared / "swapped").string(), std::string("../outside/tree"),
        (outside / "victim").string(), std::string("q.asar/doc.txt"), std::string("Info.plist")}) {
    EXPECT_NE(out.find("not acting on journal record " + named + ": "), std::string::npos) << out;
  }
}

class RollbackParent : public TempRootTest {};

TEST_F(RollbackParent, IsMadePrivateOrReplacedByOneOfOurOwn) {
  const auto parent = root_ / "tmp/poker_rollback";
  const bool root = geteuid() == 0;
  const struct {
    const char* name;
    std::function<void()> arrange;
    bool trusted;
    bool needsRoot;
  } cases[] = {
      {"missing", [] {}, true, false},
      {"ours, open to all",
       [&] { fs::create_directory(parent), fs::permissions(parent, fs::perms(0777)); }, true,
       false},
      {"a link to our folder",
       [&] {
         fs::create_directory(root_ / "mine"), fs::create_directory_symlink(root_ / "mine", parent);
       },
       false, false},
      {"a file", [&] { writeFile(parent, ""); }, false, false},
      {"another user's",
       [&] {
         fs::create_directory(parent);
         ASSERT_EQ(chown(parent.c_str(), 65534, 65534), 0);
       },
       false, true},
  };
  std::string skipped;
  for (const auto& c : cases) {
    if (c.needsRoot && !root) {
      skipped += std::string(" \"") + c.name + "\"";
      continue;
    }
    SCOPED_TRACE(c.name);
    fs::remove(parent);
    c.arrange();
    const auto before = fs::symlink_status(parent);
    const auto app = openFolder(root_);
    auto journal = startJournal(root_, app);
    const auto chosen = startRollbackFolder(root_, app, journal).shown.parent_path();
    struct stat status;
    ASSERT_EQ(lstat(chosen.c_str(), &status), 0);
    EXPECT_TRUE(S_ISDIR(status.st_mode));
    EXPECT_EQ(status.st_mode & 07777, 0700u);
    EXPECT_EQ(status.st_uid, geteuid());
    if (c.trusted) {
      EXPECT_EQ(chosen, parent);
    } else {
      // The launcher's own in the application folder; the untrusted one is left as it was.
      EXPECT_EQ(chosen, root_ / kRollbackFolderName);
      EXPECT_EQ(fs::symlink_status(parent).type(), before.type());
      EXPECT_EQ(fs::symlink_status(parent).permissions(), before.permissions());
    }
    testing::internal::CaptureStdout();
    endUpdate(root_, app, journal.records, Ending::run);
    testing::internal::GetCapturedStdout();
    // Nothing of the run is left, whichever folder it took.
    EXPECT_EQ(leftOver(root_, c.trusted ? root_ / "tmp" : fs::path()), std::vector<fs::path>{});
  }
  if (!skipped.empty()) GTEST_SKIP() << "giving a folder to another user needs root:" << skipped;
}
}  // namespace
