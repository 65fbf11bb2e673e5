#include <boost/filesystem/operations.hpp>

#include "harness.h"

namespace fs = boost::filesystem;

namespace {
class Start : public LauncherTest {};

struct OpenCase {
  std::vector<std::string> launcherArgs;
  const char* serverDat;  // nullptr: no file
  std::vector<std::string> lobbyArgs;
};

TEST_F(Start, OpensTheLobbyWithItsArguments) {
  // How each argument and server.dat are read is the arguments' and the site's to show; these
  // show that every value reaches the lobby, in order, and that nothing is added without them.
  const OpenCase cases[] = {
      {{}, nullptr, {}},
      {{"poker://t 1", "--session", "s-1"},
       "QA2::x\n",
       {"--siteenv", "qa2", "--session", "s-1", "poker://t 1"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.launcherArgs));
    forgetCalls();
    fs::remove(app_ / "server.dat");
    if (c.serverDat) writeFile(app_ / "server.dat", c.serverDat);

    const auto run = this->run(c.launcherArgs);

    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "");
    std::vector<std::string> expected{
        (bin_ / "open").string(), (app_ / "Lobby.app").string(), "--args", "launcher=launcher",
        "--storageFolder",        (app_ / "MacOS").string()};
    expected.insert(expected.end(), c.lobbyArgs.begin(), c.lobbyArgs.end());
    EXPECT_EQ(calls("open"), std::vector<std::vector<std::string>>{expected});
    EXPECT_TRUE(calls("osascript").empty());
  }
  EXPECT_TRUE(fs::is_directory(app_ / "MacOS"));
  EXPECT_TRUE(fs::is_regular_file(app_ / "launcher.lock"));
  EXPECT_TRUE(fs::is_regular_file(work_ / "liveUpdateLog.log"));
}

TEST_F(Start, MissingBundleIsShownWithItsPathQuoted) {
  const auto odd = root_ / "a&b\"c";
  fs::create_directories(odd);
  fs::copy_file(app_ / "launcher", odd / "launcher");
  app_ = odd;

  const auto run = this->run({"--session", "s"});

  EXPECT_EQ(run.status, 255);
  const auto root = root_.string();
  EXPECT_EQ(dialog(), "Error: '" + root + "/a&&b&'c/Lobby.app' not found");
  EXPECT_TRUE(calls("open").empty());
  EXPECT_TRUE(fs::is_directory(odd / "MacOS"));
}

TEST_F(Start, FailuresReachTheDialogOrStandardError) {
  const auto onlyDialog = root_ / "only-dialog";
  const auto nothing = root_ / "nothing";
  fs::create_directories(nothing);
  fs::create_directories(onlyDialog);
  fs::copy_file(bin_ / "osascript", onlyDialog / "osascript");

  auto run = this->run({}, onlyDialog.string());
  EXPECT_EQ(run.status, 255);
  EXPECT_EQ(dialog(), "Error: Error running lobby: system:2");

  makeSocket(app_ / "server.dat");
  run = this->run({}, nothing.string());
  EXPECT_EQ(run.status, 255);
  EXPECT_EQ(run.out, "");
  EXPECT_TRUE(run.err.rfind("Error: ", 0) == 0 && run.err.find("server.dat") != std::string::npos)
      << run.err;
}

TEST_F(Start, OnlyAbsolutePathFoldersAreSearched) {
  // Programs planted where an empty or relative PATH entry would find them.
  for (const auto& folder : {work_, work_ / "bin"}) {
    for (const char* program : {"open", "osascript"}) {
      writeFile(folder / program, "#!/bin/sh\n: > '" + (root_ / "planted-ran").string() + "'\n",
                0700);
    }
  }
  for (const char* path : {"", ":", "bin", ".:bin"}) {
    SCOPED_TRACE(std::string("PATH=") + path);

    const auto run = this->run({}, std::string(path));

    EXPECT_EQ(run.status, 255);
    EXPECT_EQ(run.err, "Error: Error running lobby: system:2\n");
  }
  EXPECT_FALSE(fs::exists(root_ / "planted-ran"));
}

TEST_F(Start, UnwritableStartTimeRecordOnlyWarns) {
  fs::create_directories(work_ / "liveUpdateLog.log");

  const auto run = this->run({});

  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "warning: Could not create time tracking file 'liveUpdateLog.log'\n");
  EXPECT_EQ(calls("open").size(), 1u);
}

TEST_F(Start, TheBundleIsRepairedBeforeTheLaunch) {
  fs::remove(app_ / kLibraries / "libswiftshader_libEGL.dylib");
  fs::remove(app_ / kObjCFramework / "ReactiveObjC");

  const auto run = this->run({});

  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "could not set exe permission for non-existent file " +
                         (app_ / kLibraries / "libswiftshader_libEGL.dylib").string() + "\n");
  EXPECT_EQ(fs::status(app_ / kLibraries / "libGLESv2.dylib").permissions(), 0755);
  EXPECT_EQ(fs::status(app_ / helperProgram("GPU")).permissions(), 0755);
  EXPECT_EQ(fs::read_symlink(app_ / kObjCFramework / "ReactiveObjC"), "Versions/A/ReactiveObjC");
  EXPECT_EQ(calls("open").size(), 1u);
}
}  // namespace
