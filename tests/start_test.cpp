#include <regex>
#include <set>

#include <boost/filesystem/directory.hpp>
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
  const OpenCase cases[] = {
      {{}, nullptr, {}},
      {{"--session", "s-1"}, "QA2::x\n", {"--siteenv", "qa2", "--session", "s-1"}},
      {{"poker://t 1", "--session"}, "Staging", {"poker://t 1"}},
      {{"--session", "pokerX"}, "::x", {"--session", "pokerX", "pokerX"}},
      {{"-restart", "--RESTART", "poke", "--poker", "poker"},
       "Red::G",
       {"--siteenv", "red", "poker"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.launcherArgs));
    fs::remove_all(records_);
    fs::create_directories(records_);
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
  const std::regex record(R"(\{"logType": "startingTimeStamp", "value": [0-9]{13}\}\n)");
  EXPECT_TRUE(std::regex_match(readFile(work_ / "liveUpdateLog.log"), record));
}

TEST_F(Start, MissingBundleIsShownWithItsPathQuoted) {
  const auto odd = root_ / "a&b\"c";
  fs::create_directories(odd);
  fs::copy_file(app_ / "launcher", odd / "launcher");
  app_ = odd;

  const auto run = this->run({"--session", "s"});

  EXPECT_EQ(run.status, 255);
  const auto root = root_.string();
  EXPECT_EQ(dialog(), dialogFor("Error: '" + root + "/a&&b&'c/Lobby.app' not found"));
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
  EXPECT_EQ(dialog(), dialogFor("Error: Error running lobby: system:2"));

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
      writeFile(folder / program, "#!/bin/sh\n: > '" + (root_ / "planted-ran").string() + "'\n");
      fs::permissions(folder / program, fs::owner_all);
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
  const auto frameworks = app_ / "Lobby.app/Contents/Frameworks";
  const auto libraries = frameworks / "Electron Framework.framework/Versions/A/Libraries";
  const auto framework = frameworks / "ReactiveObjC.framework";
  fs::remove(libraries / "libswiftshader_libEGL.dylib");
  fs::remove(libraries / "libswiftshader_libGLESv2.dylib");
  fs::remove(framework / "ReactiveObjC");
  fs::permissions(libraries / "libEGL.dylib", fs::perms(04600));

  auto run = this->run({});

  EXPECT_EQ(run.status, 0);
  const auto missing = "could not set exe permission for non-existent file " + libraries.string();
  EXPECT_EQ(run.out, missing + "/libswiftshader_libEGL.dylib\n" + missing +
                         "/libswiftshader_libGLESv2.dylib\n");
  EXPECT_EQ(fs::status(libraries / "libEGL.dylib").permissions(), 04711);
  EXPECT_EQ(fs::status(libraries / "libGLESv2.dylib").permissions(), 0755);
  EXPECT_EQ(fs::status(frameworks / "Poker Helper (GPU).app/Contents/MacOS/Poker Helper (GPU)")
                .permissions(),
            0755);
  EXPECT_EQ(fs::read_symlink(framework / "ReactiveObjC"), "Versions/A/ReactiveObjC");

  // Only a missing or dangling link is made: whatever else stands there is left as it is.
  fs::remove(framework / "ReactiveObjC");
  writeFile(framework / "ReactiveObjC", "a file");
  run = this->run({});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(readFile(framework / "ReactiveObjC"), "a file");
  EXPECT_EQ(calls("open").size(), 2u);
}

TEST_F(Start, AFrameworkLinkLeftDanglingByAMoveIsMadeRelative) {
  const fs::path framework = "Lobby.app/Contents/Frameworks/ReactiveObjC.framework";
  // Absolute, as earlier launchers made it.
  fs::remove(app_ / framework / "ReactiveObjC");
  fs::create_symlink(app_ / framework / "Versions/A/ReactiveObjC",
                     app_ / framework / "ReactiveObjC");

  // While it resolves, it is left alone.
  this->run({});
  EXPECT_EQ(fs::read_symlink(app_ / framework / "ReactiveObjC"),
            app_ / framework / "Versions/A/ReactiveObjC");

  fs::rename(app_, root_ / "moved");
  app_ = root_ / "moved";
  const auto run = this->run({});

  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(fs::read_symlink(app_ / framework / "ReactiveObjC"), "Versions/A/ReactiveObjC");
  EXPECT_EQ(readFile(app_ / framework / "ReactiveObjC"), "ReactiveObjC");
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(app_ / framework)) {
    names.insert(entry.path().filename().string());
  }
  EXPECT_EQ(names, (std::set<std::string>{"ReactiveObjC", "Versions"}));
}
}  // namespace
