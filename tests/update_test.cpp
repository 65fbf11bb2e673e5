#include <sys/ioctl.h>

#include <chrono>
#include <csignal>
#include <regex>
#include <thread>

#include <boost/filesystem/operations.hpp>

#include "harness.h"

namespace fs = boost::filesystem;

// Each of these starts waits 5 s for the old client to quit.
namespace {
class Update : public LauncherTest {
 protected:
  void SetUp() override {
    LauncherTest::SetUp();
    resources_ = app_ / kResources;
    writeFile(resources_ / "app.asar", "old archive", 0644);
  }

  // Waits until the launcher's output stops growing: the pipe is full and the launcher stuck.
  static void waitUntilStuck(RunningLauncher& launcher) {
    int last = -1;
    for (int tries = 0; tries < 200; ++tries) {
      int pending = 0;
      ioctl(launcher.out.pipe().native_source(), FIONREAD, &pending);
      if (pending > 0 && pending == last) return;
      last = pending;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }

  fs::path resources_;
};

TEST_F(Update, AStagedUpdateIsAppliedThenTheBundleRepairedAndLaunched) {
  const auto update = app_ / "update_3";
  writeFile(update / kResources / "app.asar_tmp", "new archive");
  writeFile(update / helperProgram("Plugin"), "new helper");
  writeFile(update / kResources / "locales/eo.pak", "new locale");
  fs::create_symlink("version.json", update / kResources / "latest.json");
  fs::remove(app_ / kObjCFramework / "ReactiveObjC");

  const auto run = this->run({});

  EXPECT_EQ(run.status, 0);
  const auto rollbackFolder = (tmp_ / "poker_rollback/").string() + "[0-9a-f]{8}";
  const std::regex out("restart mode / kill mode\n(copying [^\n]*\n){4}deleting rollback folder " +
                       rollbackFolder + "\n");
  EXPECT_TRUE(std::regex_match(run.out, out)) << run.out;

  EXPECT_EQ(readFile(resources_ / "app.asar"), "new archive");
  EXPECT_EQ(readFile(app_ / helperProgram("Plugin")), "new helper");
  EXPECT_EQ(fs::status(app_ / helperProgram("Plugin")).permissions(), 0755);
  EXPECT_EQ(readFile(resources_ / "locales/eo.pak"), "new locale");
  EXPECT_EQ(fs::read_symlink(resources_ / "latest.json"), "version.json");
  EXPECT_EQ(fs::read_symlink(app_ / kObjCFramework / "ReactiveObjC"), "Versions/A/ReactiveObjC");
  EXPECT_FALSE(fs::exists(update));
  EXPECT_EQ(leftOver(app_, tmp_), std::vector<fs::path>{});
  EXPECT_EQ(fs::status(tmp_ / "poker_rollback").permissions(), 0700);
  EXPECT_EQ(calls("open").size(), 1u);
}

TEST_F(Update, AFailedCopyIsUndoneAndTriedAgainAtTheNextStart) {
  const auto update = app_ / "update_4";
  writeFile(update / kResources / "app.asar_tmp", "new archive");
  writeFile(update / kResources / "version.json", "{}");
  makeSocket(update / "s");

  auto run = this->run({});

  EXPECT_EQ(run.status, 255);
  const auto error = "Error: error copying file " + (update / "s").string() + " to " +
                     (app_ / "s").string() + " error:";
  EXPECT_EQ(dialog().rfind(error, 0), 0u) << dialog();
  EXPECT_EQ(readFile(resources_ / "app.asar"), "old archive");
  EXPECT_TRUE(fs::exists(update / kResources / "app.asar_tmp"));
  EXPECT_EQ(leftOver(app_, tmp_), std::vector<fs::path>{});
  EXPECT_TRUE(calls("open").empty());

  fs::remove(update / "s");
  forgetCalls();
  run = this->run({});

  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(readFile(resources_ / "app.asar"), "new archive");
  EXPECT_FALSE(fs::exists(update));
  EXPECT_EQ(calls("open").size(), 1u);
}

TEST_F(Update, AClosedOutputDoesNotStopIt) {
  writeFile(app_ / "update_6" / kResources / "app.asar", "new archive");
  // Records how `open` was left to handle SIGPIPE (with shell built-ins: PATH holds only the
  // stand-ins), then records its call as usual.
  const auto open = readFile(bin_ / "open");
  writeFile(bin_ / "open",
            "#!/bin/sh\nwhile read -r key value; do [ \"$key\" = SigIgn: ] && echo $value; done "
            "< /proc/$$/status > '" +
                (records_ / "sigign").string() + "'\n" + open.substr(open.find('\n') + 1));

  auto launcher = start({});
  std::string line;
  ASSERT_TRUE(std::getline(launcher->out, line));
  launcher->out.pipe().close();  // every progress line after this one finds no reader
  const auto run = finish(*launcher);

  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(readFile(resources_ / "app.asar"), "new archive");
  EXPECT_FALSE(fs::exists(app_ / "update_6"));
  ASSERT_EQ(calls("open").size(), 1u);
  const auto ignored = std::stoull(readFile(records_ / "sigign"), nullptr, 16);
  EXPECT_EQ(ignored & (1ull << (SIGPIPE - 1)), 0u);
}

TEST_F(Update, FrameworkLinksAreInstalledAsLinksAndNothingIsWrittenOutside) {
  // A lossy installation, whose framework lost its links to real folders.
  const auto framework = kFrameworks / "Squirrel.framework";
  writeFile(app_ / framework / "Versions/A/Squirrel", "old");
  writeFile(app_ / framework / "Versions/Current/Squirrel", "lossy copy");
  // The update comes from a staging area elsewhere and brings the framework with its links.
  const auto staging = root_ / "staging";
  fs::create_directory_symlink(staging, app_ / "update_2");
  writeFile(staging / framework / "Versions/A/Squirrel", "new");
  writeFile(staging / framework / "Versions/A/Resources/Info.plist", "plist");
  fs::create_symlink("A", staging / framework / "Versions/Current");
  fs::create_symlink("Versions/Current/Squirrel", staging / framework / "Squirrel");
  fs::create_symlink("Versions/Current/Resources", staging / framework / "Resources");
  const auto helper = helperProgram("GPU");
  writeFile(staging / helper, "new helper", 0644);
  // Links that lead outside: one the update brings, one the installation has.
  const auto outside = root_ / "outside";
  writeFile(outside / "victim", "untouched");
  fs::create_directories(staging / kResources);
  fs::create_directory_symlink(outside, staging / kResources / "a.asar_tmp");
  writeFile(staging / kResources / "a.asar/victim", "overwritten");
  fs::create_directory_symlink(outside, resources_ / "shared");
  writeFile(staging / kResources / "shared/more", "written outside");

  const auto run = this->run({});

  EXPECT_EQ(run.status, 0) << run.out;
  const auto installed = app_ / framework;
  EXPECT_EQ(fs::read_symlink(installed / "Versions/Current"), "A");
  EXPECT_EQ(fs::read_symlink(installed / "Squirrel"), "Versions/Current/Squirrel");
  EXPECT_EQ(fs::read_symlink(installed / "Resources"), "Versions/Current/Resources");
  EXPECT_EQ(readFile(installed / "Squirrel"), "new");
  EXPECT_EQ(readFile(installed / "Resources/Info.plist"), "plist");
  for (const char* name : {"a.asar/victim", "shared/more"}) {
    const auto entry = staging / kResources / name;
    EXPECT_NE(run.out.find("skipping " + (app_ / "update_2").string() +
                           entry.string().substr(staging.string().size()) + ": " +
                           (resources_ / name).string() + " lies outside the application folder\n"),
              std::string::npos)
        << run.out;
  }
  EXPECT_EQ(readFile(outside / "victim"), "untouched");
  EXPECT_FALSE(fs::exists(outside / "more"));
  // The installed helper is the installation's own: the repair left the staged one alone.
  EXPECT_EQ(fs::status(app_ / helper).permissions(), 0755);
  EXPECT_EQ(fs::status(staging / helper).permissions(), 0644);
}

TEST_F(Update, AnUpdateKilledHalfWayIsCompletedByTheNextStart) {
  // Long names and many entries: the launcher's output fills the pipe that this test stops
  // reading, so it is still copying when it is killed.
  const auto update = app_ / "update_5";
  const auto folder = kResources / "a-folder-with-a-long-name";
  const int count = 150;
  auto name = [](const char* kind, int i) {
    return std::string(kind) + "-with-a-name-long-enough-to-fill-a-pipe-soon-" + std::to_string(i);
  };
  for (int i = 0; i < count; ++i) {
    writeFile(update / folder / name("file", i), "new " + std::to_string(i));
    fs::create_symlink(name("file", i), update / folder / name("link", i));
    writeFile(app_ / folder / name("old", i), "old");
    writeFile(update / folder / name("old", i), "new");
  }

  auto first = start({});
  std::string line;
  for (int i = 0; i < 2; ++i) ASSERT_TRUE(std::getline(first->out, line));
  ASSERT_EQ(line.rfind("copying ", 0), 0u) << line;
  waitUntilStuck(*first);
  first->child.terminate();
  finish(*first);
  // Every line comes before the first change: nothing is in place yet.
  ASSERT_TRUE(fs::exists(app_ / ".launcher-journal"));
  for (int i = 0; i < count; ++i) {
    EXPECT_FALSE(fs::is_symlink(app_ / folder / name("link", i)));
    EXPECT_EQ(readFile(app_ / folder / name("old", i)), "old");
  }

  const auto run = this->run({});

  EXPECT_EQ(run.status, 0);
  for (int i = 0; i < count; ++i) {
    EXPECT_EQ(readFile(app_ / folder / name("link", i)), "new " + std::to_string(i));
    EXPECT_EQ(readFile(app_ / folder / name("old", i)), "new");
  }
  EXPECT_FALSE(fs::exists(update));
  EXPECT_EQ(calls("open").size(), 1u);
}
}  // namespace
