#include <functional>

#include <gtest/gtest.h>
#include <boost/filesystem/operations.hpp>

#include "temp_root.h"
#include "update/electron_repair.h"

namespace fs = boost::filesystem;

namespace {
class ExecutablePermission : public TempRootTest {};

TEST_F(ExecutablePermission, AddsOwnerAllAndExecuteForEveryone) {
  const std::pair<int, int> cases[] = {
      {0644, 0755},   {0600, 0711},   {0444, 0755}, {0755, 0755},
      {04755, 04755}, {04600, 04711}, {0, 0711},
  };
  const auto file = root_ / "lib.dylib";
  writeFile(file, "");
  for (const auto& [before, after] : cases) {
    fs::permissions(file, fs::perms(before));
    addExecutablePermission(root_, "lib.dylib");
    EXPECT_EQ(fs::status(file).permissions(), after) << std::oct << before;
  }
}

// A change is refused on the libraries: the way to them takes more links than a walk follows.
TEST_F(ExecutablePermission, ChangesOnlyMissingBitsNeverThroughALinkAndGoesOnPastARefusal) {
  makeLobbyBundle(work_);
  const auto libraries = work_ / kLibraries;
  const auto framework = work_ / kObjCFramework;
  writeFile(root_ / "outside", "", 0644);
  fs::remove(libraries / "libEGL.dylib");
  fs::create_symlink(root_ / "outside", libraries / "libEGL.dylib");
  for (const char* right : {"libGLESv2.dylib", "libswiftshader_libEGL.dylib"})
    fs::permissions(libraries / right, fs::perms(0755));
  fs::remove(framework / "ReactiveObjC");
  fs::create_directory_symlink("A", framework / "Versions/Current");
  const auto version = libraries.parent_path();
  fs::rename(libraries, version / "L0");
  for (int link = 1; link <= 32; ++link) {
    fs::create_directory_symlink("L" + std::to_string(link - 1),
                                 version / ("L" + std::to_string(link)));
  }
  fs::create_directory_symlink("L32", libraries);
  boost::system::error_code tooMany;
  fs::symlink_status(libraries / "libGLESv2.dylib", tooMany);
  if (tooMany)
    GTEST_SKIP() << "this system follows no more links than a walk: " << tooMany.message();

  testing::internal::CaptureStdout();
  fixElectronUpdate(work_);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "could not set exe permission for " +
                (libraries / "libswiftshader_libGLESv2.dylib").string() +
                ": Too many levels of symbolic links\n");
  const std::pair<fs::path, int> modes[] = {
      {root_ / "outside", 0644},  // a link's target, outside the application folder
      {libraries / "libGLESv2.dylib", 0755},
      {libraries / "libswiftshader_libGLESv2.dylib", 0644},
      {work_ / helperProgram("GPU"), 0755},
  };
  for (const auto& [file, mode] : modes) EXPECT_EQ(fs::status(file).permissions(), mode) << file;
  EXPECT_EQ(fs::read_symlink(framework / "ReactiveObjC"), "Versions/Current/ReactiveObjC");
}
}  // namespace

class FrameworkLink : public TempRootTest {};

TEST_F(FrameworkLink, IsMadeOnlyWhereMissingOrDanglingAndLeavesNothingPending) {
  const auto link = root_ / kObjCFramework / "ReactiveObjC";
  const auto pending = root_ / kObjCFramework / ".launcher-framework-link";
  const auto absolute = root_ / kObjCFramework / "Versions/A/ReactiveObjC";
  const auto replace = [&link](const fs::path& text) {
    fs::remove(link);
    fs::create_symlink(text, link);
  };
  const struct {
    const char* name;
    std::function<void()> arrange;
    std::string after;  // the link's text, or what the file there holds
    bool pendingLeft;
  } cases[] = {
      {"missing", [&] { fs::remove(link); }, "Versions/A/ReactiveObjC", false},
      {"absolute, as earlier launchers made it", [&] { replace(absolute); }, absolute.string(),
       false},
      {"absolute, dangling once the folder moved",
       [&] { replace(root_ / "moved" / kObjCFramework / "Versions/A/ReactiveObjC"); },
       "Versions/A/ReactiveObjC", false},
      {"a file", [&] { fs::remove(link), writeFile(link, "a file"); }, "a file", false},
      {"a repair cut short between its two steps",
       [&] {
         replace("Versions/B/ReactiveObjC");
         fs::create_symlink("Versions/A/ReactiveObjC", pending);
       },
       "Versions/A/ReactiveObjC", false},
      {"a file of the client's under the repair's name",
       [&] { writeFile(pending, "the client's"); }, "Versions/A/ReactiveObjC", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(root_ / "Lobby.app");
    makeLobbyBundle(root_);
    c.arrange();

    testing::internal::CaptureStdout();
    fixElectronUpdate(root_);
    testing::internal::GetCapturedStdout();

    EXPECT_EQ(fs::is_symlink(link) ? fs::read_symlink(link).string() : readFile(link), c.after);
    EXPECT_EQ(fs::exists(fs::symlink_status(pending)), c.pendingLeft);
  }
}
