#include <unistd.h>

#include <functional>

#include <gtest/gtest.h>
#include <boost/filesystem/operations.hpp>

#include "temp_root.h"
#include "update/update.h"

namespace fs = boost::filesystem;

namespace {
class RollbackParent : public TempRootTest {};

TEST_F(RollbackParent, IsMadePrivateOrRefused) {
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
    if (c.trusted) {
      EXPECT_EQ(getRollbackParent(), parent);
      EXPECT_EQ(fs::symlink_status(parent).permissions(), 0700);
    } else {
      EXPECT_THROW(getRollbackParent(), std::runtime_error);
    }
  }
}
}  // namespace
