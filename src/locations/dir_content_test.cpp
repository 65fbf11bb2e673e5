#include <algorithm>

#include <gtest/gtest.h>
#include <boost/filesystem/operations.hpp>

#include "locations/dir_content.h"
#include "temp_root.h"

namespace fs = boost::filesystem;

namespace {
class DirContent : public TempRootTest {};

std::vector<std::string> relativeListing(const fs::path& folder, bool files, bool folders) {
  std::vector<std::string> names;
  const auto listing = getDirContent(folder, files, folders);
  for (const auto& path : *listing) {
    names.push_back(path.string().substr(folder.string().size() + 1));
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST_F(DirContent, ListsByWhatEntriesPointTo) {
  const auto top = root_ / "top";
  writeFile(top / "a", "");
  writeFile(top / "sub/deep/b", "");
  writeFile(root_ / "outside/c", "");
  fs::create_directory_symlink(root_ / "outside", top / "sub/link-to-folder");
  fs::create_symlink(top / "a", top / "link-to-file");
  fs::create_symlink(top / "missing", top / "dangling");

  using Names = std::vector<std::string>;
  EXPECT_EQ(relativeListing(top, true, false),
            (Names{"a", "dangling", "link-to-file", "sub/deep/b"}));
  EXPECT_EQ(relativeListing(top, false, true), (Names{"sub", "sub/deep", "sub/link-to-folder"}));
  EXPECT_EQ(relativeListing(top, true, true).size(), 7u);
  EXPECT_TRUE(relativeListing(top, false, false).empty());
}

TEST_F(DirContent, RefusesWhatIsNoFolder) {
  writeFile(root_ / "file", "");
  for (const char* name : {"file", "missing"}) {
    try {
      getDirContent(root_ / name, true, true);
      ADD_FAILURE() << name;
    } catch (const std::runtime_error& error) {
      EXPECT_STREQ(error.what(), "Invalid folder");
    }
  }
  fs::create_directory(root_ / "empty");
  EXPECT_TRUE(getDirContent(root_ / "empty", true, true)->empty());
}
}  // namespace
