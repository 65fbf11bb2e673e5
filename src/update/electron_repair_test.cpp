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

class FrameworkLink : public TempRootTest {};

TEST_F(FrameworkLink, ARepairCutShortLeavesNothingBehind) {
  const auto framework = root_ / "Lobby.app/Contents/Frameworks/ReactiveObjC.framework";
  const auto pending = framework / ".launcher-framework-link";
  const struct {
    const char* name;
    bool ours;  // what a repair cut short between its two steps leaves
  } cases[] = {{"a link the repair made", true}, {"a file of the client's", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(root_ / "Lobby.app");
    makeLobbyBundle(root_);
    if (c.ours) {
      fs::remove(framework / "ReactiveObjC");
      fs::create_symlink("Versions/B/ReactiveObjC", framework / "ReactiveObjC");  // dangling
      fs::create_symlink("Versions/A/ReactiveObjC", pending);
    } else {
      writeFile(pending, "the client's");
    }

    testing::internal::CaptureStdout();
    fixElectronUpdate(root_);
    testing::internal::GetCapturedStdout();

    EXPECT_EQ(fs::read_symlink(framework / "ReactiveObjC"), "Versions/A/ReactiveObjC");
    EXPECT_EQ(fs::exists(fs::symlink_status(pending)), !c.ours);
  }
}
