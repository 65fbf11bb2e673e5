#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <boost/filesystem/operations.hpp>

#include "harness.h"

namespace fs = boost::filesystem;

// Each of these starts waits 5 s for the old client to quit.
namespace {

class Install : public LauncherTest {
 protected:
  void TearDown() override {
    if (!mount_.empty()) umount2(mount_.c_str(), MNT_DETACH);
    LauncherTest::TearDown();
  }

  // The lobby's program, 0755, and an update of it that arrives as 0644 and so must be copied.
  void stageProgram(std::size_t newSize) {
    writeFile(app_ / kLobbyProgram, "old program", 0755);
    newProgram_ = std::string(newSize, 'n');
    writeFile(app_ / "update_2" / kLobbyProgram, newProgram_, 0644);
    for (int i = 0; i < 20; ++i) {
      const auto resource = kResources / ("r" + std::to_string(i));
      writeFile(app_ / resource, "old");
      writeFile(app_ / "update_2" / resource, "new");
    }
  }

  // The program is old or new, as asked, and has its final bits either way; nothing of a run is
  // left.
  void expectProgram(bool updated) {
    const auto program = readFile(app_ / kLobbyProgram);
    EXPECT_TRUE(updated ? program == newProgram_ : program == "old program")
        << program.size() << " bytes";
    EXPECT_EQ(fs::status(app_ / kLobbyProgram).permissions(), 0755);
    EXPECT_EQ(leftOver(app_, tmp_), std::vector<fs::path>{});
  }

  std::string newProgram_;
  fs::path mount_;
};

TEST_F(Install, ACopyFailingHalfWayOnAFullFileSystemLeavesTheOldFile) {
  if (geteuid() != 0) GTEST_SKIP() << "mounting a small tmpfs needs root";
  const auto small = root_ / "small";
  fs::create_directories(small);
  if (mount("tmpfs", small.c_str(), "tmpfs", 0, "size=256m") != 0) {
    GTEST_SKIP() << "cannot mount a tmpfs: " << std::strerror(errno);
  }
  mount_ = small;
  app_ = small / "app";
  makeInstallation(app_);
  stageProgram(16 << 20);
  // Room for half of the new program only.
  struct statvfs usage;
  ASSERT_EQ(statvfs(small.c_str(), &usage), 0);
  const auto used = (usage.f_blocks - usage.f_bfree) * usage.f_frsize;
  const auto full = "size=" + std::to_string(used + (8 << 20));
  ASSERT_EQ(mount("tmpfs", small.c_str(), "tmpfs", MS_REMOUNT, full.c_str()), 0)
      << std::strerror(errno);

  auto run = this->run({});

  EXPECT_EQ(run.status, 255);
  EXPECT_NE(dialog().find("No space left on device"), std::string::npos) << dialog();
  expectProgram(false);

  ASSERT_EQ(mount("tmpfs", small.c_str(), "tmpfs", MS_REMOUNT, "size=256m"), 0);
  forgetCalls();
  run = this->run({});

  EXPECT_EQ(run.status, 0) << run.out;
  expectProgram(true);
}

TEST_F(Install, AFolderHoldingAnotherFileSystemIsNeverReplaced) {
  if (geteuid() != 0) GTEST_SKIP() << "mounting a tmpfs needs root";
  const auto locales = app_ / kResources / "locales";
  fs::create_directories(locales / "mounted");
  if (mount("tmpfs", (locales / "mounted").c_str(), "tmpfs", 0, "size=1m") != 0) {
    GTEST_SKIP() << "cannot mount a tmpfs: " << std::strerror(errno);
  }
  mount_ = locales / "mounted";
  writeFile(locales / "mounted/kept", "another file system's");
  writeFile(app_ / "update_2" / kResources / "locales", "all locales in one file");

  const auto run = this->run({});

  EXPECT_EQ(run.status, 255);
  EXPECT_EQ(dialog().rfind("Error: error copying file ", 0), 0u) << dialog();
  EXPECT_EQ(readFile(locales / "mounted/kept"), "another file system's");
  EXPECT_TRUE(fs::exists(app_ / "update_2"));
}
}  // namespace
