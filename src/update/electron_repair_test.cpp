#include <gtest/gtest.h>
#include <boost/filesystem/operations.hpp>

#include "temp_root.h"
#include "update/electron_repair.h"

namespace fs = boost::filesystem;

namespace {
class ExecutablePermission : public TempRootTest {};

TEST_F(ExecutablePermission, AddsOwnerAllAndExecuteForEveryone) {
  const std::pair<int, int> cases[] = {
      {0644, 0755}, {0600, 0711}, {0444, 0755}, {0755, 0755}, {04755, 04755}, {0, 0711},
  };
  const auto file = root_ / "lib.dylib";
  writeFile(file, "");
  for (const auto& [before, after] : cases) {
    fs::permissions(file, fs::perms(before));
    addExecutablePermission(file);
    EXPECT_EQ(fs::status(file).permissions(), after) << std::oct << before;
  }
}

TEST_F(ExecutablePermission, ChangesALinksTargetAndReportsWhatIsMissing) {
  writeFile(root_ / "real", "");
  fs::permissions(root_ / "real", fs::perms(0644));
  fs::create_symlink("real", root_ / "link");
  fs::create_symlink("missing", root_ / "dangling");

  testing::internal::CaptureStdout();
  for (const char* name : {"link", "dangling", "absent"}) addExecutablePermission(root_ / name);

  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "could not set exe permission for non-existent file " + (root_ / "dangling").string() +
                "\ncould not set exe permission for non-existent file " +
                (root_ / "absent").string() + "\n");
  EXPECT_EQ(fs::status(root_ / "real").permissions(), 0755);
  EXPECT_FALSE(fs::exists(root_ / "missing"));
}
}  // namespace
