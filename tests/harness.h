#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/boost_process.h"
#include "temp_root.h"

struct LauncherRun {
  int status;
  std::string out;
  std::string err;
};

struct RunningLauncher {
  bp::ipstream out;
  bp::ipstream err;
  bp::child child;
};

// A copy of the launcher under test at `app`/launcher, never a link: its own path decides the
// application folder.
void installLauncher(const boost::filesystem::path& app);
// An installation at `app`: a Lobby.app and the launcher beside it.
void makeInstallation(const boost::filesystem::path& app);

// An installation in the test's root: a copy of the launcher in "app" beside a Lobby.app, and
// stand-ins for `open` and `osascript` in "bin" that record how they were called.
class LauncherTest : public TempRootTest {
 protected:
  void SetUp() override;

  // What the launcher is started with in place of this process's environment variables: PATH
  // `path` (default: the recording stand-ins) and TMPDIR `tmp_`.
  std::map<std::string, std::string> environment(
      const std::optional<std::string>& path = std::nullopt, bool relativeTmpdir = false) const;
  // Starts the launcher with `args` in the working directory.
  std::unique_ptr<RunningLauncher> start(const std::vector<std::string>& args,
                                         const std::optional<std::string>& path = std::nullopt);
  // Waits for the launcher and for every program it started that kept its output open.
  static LauncherRun finish(RunningLauncher& launcher);
  LauncherRun run(const std::vector<std::string>& args,
                  const std::optional<std::string>& path = std::nullopt);

  // The argument vectors (program name first) of every recorded call of `program`.
  std::vector<std::vector<std::string>> calls(const std::string& program) const;
  void forgetCalls() const;
  // The message that the one recorded `osascript` call shows, as the user reads it.
  std::string dialog() const;

  boost::filesystem::path app_;
  boost::filesystem::path tmp_;
  boost::filesystem::path bin_;
  boost::filesystem::path records_;
};
