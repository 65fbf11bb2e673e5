#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <boost/filesystem/directory.hpp>
#include <boost/filesystem/operations.hpp>

#include "harness.h"

namespace fs = boost::filesystem;

// Each of these starts waits 5 s for the old client to quit.
namespace {
const char kProgram[] = "Lobby.app/Contents/MacOS/Lobby";

class Install : public LauncherTest {
 protected:
  void TearDown() override {
    if (!mount_.empty()) umount2(mount_.c_str(), MNT_DETACH);
    LauncherTest::TearDown();
  }

  // The lobby's program, 0755, and an update of it that arrives as 0644 and so must be copied.
  void stageProgram(std::size_t newSize) {
    writeFile(app_ / kProgram, "old program");
    fs::permissions(app_ / kProgram, fs::perms(0755));
    newProgram_ = std::string(newSize, 'n');
    writeFile(app_ / "update_2" / kProgram, newProgram_);
    fs::permissions(app_ / "update_2" / kProgram, fs::perms(0644));
    for (int i = 0; i < 20; ++i) {
      const auto resource = "Lobby.app/Contents/Resources/r" + std::to_string(i);
      writeFile(app_ / resource, "old");
      writeFile(app_ / "update_2" / resource, "new");
    }
  }

  // The program is old or new, never anything in between, and has its final bits either way.
  void expectProgramWhole(bool updated) {
    const auto program = readFile(app_ / kProgram);
    EXPECT_TRUE(updated ? program == newProgram_
                        : program == "old program" || program == newProgram_)
        << program.size() << " bytes";
    EXPECT_EQ(fs::status(app_ / kProgram).permissions(), 0755);
    // What a start cut short left under temporary names goes with the next one.
    for (fs::recursive_directory_iterator it(app_), end; updated && it != end; ++it) {
      EXPECT_NE(it->path().filename().string().rfind(".launcher-", 0), 0u) << it->path();
    }
  }

  std::string newProgram_;
  fs::path mount_;
};

TEST_F(Install, AStartKilledWhileCopyingAFileLeavesItWhole) {
  stageProgram(96 << 20);  // long enough to copy that the kill lands while it is being made

  auto first = start({});
  for (std::string line; std::getline(first->out, line);) {
    if (line.find("MacOS/Lobby to ") != std::string::npos) break;
  }
  first->child.terminate();
  finish(*first);
  expectProgramWhole(false);

  const auto run = this->run({});

  EXPECT_EQ(run.status, 0) << run.out;
  expectProgramWhole(true);
  EXPECT_EQ(readFile(app_ / "Lobby.app/Contents/Resources/r7"), "new");
  EXPECT_FALSE(fs::exists(app_ / "update_2"));
}

TEST_F(Install, ACopyFailingHalfWayOnAFullFileSystemLeavesTheOldFile) {
  if (geteuid() != 0) GTEST_SKIP() << "mounting a small tmpfs needs root";
  const auto small = root_ / "small";
  fs::create_directories(small);
  if (mount("tmpfs", small.c_str(), "tmpfs", 0, "size=256m") != 0) {
    GTEST_SKIP() << "cannot mount a tmpfs: " << std::strerror(errno);
  }
  mount_ = small;
  app_ = small / "app";
  makeLobbyBundle(app_);
  // Boost 1.74's copy_file cannot cross file systems on every kernel.
  writeFile(app_ / "launcher", readFile(root_ / "app/launcher"));
  fs::permissions(app_ / "launcher", fs::owner_all);
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
  EXPECT_TRUE(readFile(app_ / kProgram) == "old program");
  expectProgramWhole(false);

  ASSERT_EQ(mount("tmpfs", small.c_str(), "tmpfs", MS_REMOUNT, "size=256m"), 0);
  run = this->run({});

  EXPECT_EQ(run.status, 0) << run.out;
  expectProgramWhole(true);
}
TEST_F(Install, AFolderHoldingAnotherFileSystemIsNeverReplaced) {
  if (geteuid() != 0) GTEST_SKIP() << "mounting a tmpfs needs root";
  const auto locales = app_ / "Lobby.app/Contents/Resources/locales";
  fs::create_directories(locales / "mounted");
  if (mount("tmpfs", (locales / "mounted").c_str(), "tmpfs", 0, "size=1m") != 0) {
    GTEST_SKIP() << "cannot mount a tmpfs: " << std::strerror(errno);
  }
  mount_ = locales / "mounted";
  writeFile(locales / "mounted/kept", "another file system's");
  writeFile(app_ / "update_2/Lobby.app/Contents/Resources/locales", "all locales in one file");

  const auto run = this->run({});

  EXPECT_EQ(run.status, 255);
  EXPECT_EQ(dialog().rfind(dialogFor("Error: error copying file ").substr(0, 40), 0), 0u)
      << dialog();
  EXPECT_EQ(readFile(locales / "mounted/kept"), "another file system's");
  EXPECT_TRUE(fs::exists(app_ / "update_2"));
}
}  // namespace
