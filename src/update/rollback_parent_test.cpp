#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include <gtest/gtest.h>
#include <boost/filesystem/operations.hpp>

#include "main/main.h"
#include "temp_root.h"
#include "update/update.h"

namespace fs = boost::filesystem;

namespace {
class RollbackParent : public TempRootTest {};

TEST_F(RollbackParent, IsMadePrivateOrReplacedByOneOfOurOwn) {
  const auto parent = root_ / "tmp/poker_rollback";
  const struct {
    const char* name;
    std::function<void()> arrange;
    bool trusted;
  } cases[] = {
      {"missing", [] {}, true},
      {"ours, open to all",
       [&] { fs::create_directory(parent), fs::permissions(parent, fs::perms(0777)); }, true},
      {"a link to our folder",
       [&] {
         fs::create_directory(root_ / "mine"), fs::create_directory_symlink(root_ / "mine", parent);
       },
       false},
      {"a file", [&] { writeFile(parent, ""); }, false},
      {"another user's",
       [&] {
         fs::create_directory(parent);
         if (geteuid() == 0) {
           ASSERT_EQ(chown(parent.c_str(), 65534, 65534), 0);
         }
       },
       geteuid() != 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(parent);
    c.arrange();
    const auto before = fs::symlink_status(parent);
    auto journal = startJournal(root_);
    const auto chosen = startRollbackFolder(journal).parent_path();
    closeJournal(journal);
    fs::remove(root_ / kJournalName);
    struct stat status;
    ASSERT_EQ(lstat(chosen.c_str(), &status), 0);
    EXPECT_TRUE(S_ISDIR(status.st_mode));
    EXPECT_EQ(status.st_mode & 07777, 0700u);
    EXPECT_EQ(status.st_uid, geteuid());
    if (c.trusted) {
      EXPECT_EQ(chosen, parent);
    } else {
      // A fresh one of this run's own beside it; the untrusted one is left as it was.
      EXPECT_EQ(chosen.parent_path(), parent.parent_path());
      EXPECT_NE(chosen, parent);
      EXPECT_EQ(fs::symlink_status(parent).type(), before.type());
      EXPECT_EQ(fs::symlink_status(parent).permissions(), before.permissions());
      fs::remove(chosen);
    }
  }
}
}  // namespace
