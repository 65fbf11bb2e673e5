#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/boost_process.h"
// What a test needs beyond the launcher's own use, from the same interface.
#ifdef LAUNCHER_BOOST_PROCESS_V1
#include <boost/process/v1/child.hpp>
#include <boost/process/v1/env.hpp>
#include <boost/process/v1/environment.hpp>
#include <boost/process/v1/io.hpp>
#include <boost/process/v1/pipe.hpp>
#include <boost/process/v1/start_dir.hpp>
#else
#include <boost/process/child.hpp>
#include <boost/process/env.hpp>
#include <boost/process/environment.hpp>
#include <boost/process/io.hpp>
#include <boost/process/pipe.hpp>
#include <boost/process/start_dir.hpp>
#endif

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

// An installation in the test's root: a copy of the launcher in "app" beside a Lobby.app, and
// stand-ins for `open` and `osascript` in "bin" that record how they were called.
class LauncherTest : public TempRootTest {
 protected:
  void SetUp() override;

  // Starts the launcher with `args`, PATH set to `path` (default: the recording stand-ins).
  std::unique_ptr<RunningLauncher> start(const std::vector<std::string>& args,
                                         const std::optional<std::string>& path = std::nullopt);
  // Waits for the launcher and for every program it started that kept its output open.
  static LauncherRun finish(RunningLauncher& launcher);
  LauncherRun run(const std::vector<std::string>& args,
                  const std::optional<std::string>& path = std::nullopt);

  // The argument vectors (program name first) of every recorded call of `program`.
  std::vector<std::vector<std::string>> calls(const std::string& program) const;
  // The dialog script of the one recorded `osascript` call.
  std::string dialog() const;

  boost::filesystem::path app_;
  boost::filesystem::path bin_;
  boost::filesystem::path records_;
};

// The AppleScript statement that shows `message` in the launcher's dialog.
std::string dialogFor(const std::string& message);
