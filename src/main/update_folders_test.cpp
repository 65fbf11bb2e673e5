#include <unistd.h>

#include <algorithm>

#include <gtest/gtest.h>
#include <boost/filesystem/operations.hpp>

#include "main/update_folders.h"
#include "temp_root.h"

namespace fs = boost::filesystem;

namespace {
TEST(Updates, NewestIsTheGreatestNumberByValue) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{}, ""},
      {{"9", "10"}, "10"},
      {{"10", "1"}, "10"},
      {{"5", "05"}, "5"},
      {{"05", "5"}, "5"},
      {{"007", "8"}, "8"},
      {{"0", "00"}, "00"},
      {{std::string(39, '9'), "1" + std::string(39, '0')}, "1" + std::string(39, '0')},
  };
  for (const auto& [numbers, newest] : cases) {
    EXPECT_EQ(newestUpdate(numbers), newest) << ::testing::PrintToString(numbers);
  }
}

class UpdateFolders : public TempRootTest {};

TEST_F(UpdateFolders, OnlyFoldersNamedUpdateAndDigitsCount) {
  for (const char* name : {"update_1", "update_0042", "Update_2", "update_x", "xupdate_3",
                           "update_", "update_ 4", "update_\xd9\xa3", "old_update_5"}) {
    fs::create_directories(root_ / name);
  }
  writeFile(root_ / "update_6", "not a folder");
  fs::create_directory_symlink(root_ / "update_1", root_ / "update_7");
  fs::create_symlink(root_ / "missing", root_ / "update_8");

  auto numbers = findUpdateNumbers(root_);
  std::sort(numbers.begin(), numbers.end());
  EXPECT_EQ(numbers, (std::vector<std::string>{"0042", "1", "7"}));
}

TEST_F(UpdateFolders, StaleUpdatesGoEvenPastALeftover) {
  writeFile(root_ / "update_3/a", "3");
  writeFile(root_ / "old_update_3/left/over", "earlier run");
  writeFile(root_ / "update_4/a", "4");
  writeFile(root_ / "old_update_8/killed", "during a removal");
  writeFile(root_ / "old_update_x/kept", "not ours");
  writeFile(root_ / "old_update_9", "a file");
  fs::create_directory_symlink(root_ / "update_4", root_ / "old_update_7");
  writeFile(root_ / "old_update_6/kept", "another user's");
  const bool theirs = chown((root_ / "old_update_6").c_str(), 4321, 4321) == 0;

  removeLeftoverOldUpdates(root_);
  disposeOfStaleUpdates(root_, {"3", "4"}, "4");

  for (const char* gone : {"update_3", "old_update_3", "old_update_8"}) {
    EXPECT_FALSE(fs::exists(root_ / gone)) << gone;
  }
  for (const char* kept : {"old_update_x/kept", "old_update_9", "old_update_7/a"}) {
    EXPECT_TRUE(fs::exists(root_ / kept)) << kept;
  }
  EXPECT_EQ(readFile(root_ / "update_4/a"), "4");
  EXPECT_EQ(fs::exists(root_ / "old_update_6/kept"), theirs);
  if (!theirs) GTEST_SKIP() << "giving a folder to another user needs root";
}
}  // namespace
