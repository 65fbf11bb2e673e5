#pragma once

#include <functional>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <boost/filesystem/path.hpp>

// Gives each test a fresh root folder with its own TMPDIR ("tmp") and working directory
// ("work"); afterwards puts both back as they were and removes the root.
class TempRootTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  boost::filesystem::path root_;
  boost::filesystem::path work_;

 private:
  boost::filesystem::path oldWork_;
  bool hadTmpdir_ = false;
  std::string oldTmpdir_;
};

// Makes the folders on the way.
void writeFile(const boost::filesystem::path& file, const std::string& content);
void writeFile(const boost::filesystem::path& file, const std::string& content, int mode);
std::string readFile(const boost::filesystem::path& file);
// A copy of the tree `from` at `to`, by bytes (Boost 1.74's copy_file cannot cross file systems on
// every kernel), with modes, link texts and sockets.
void copyTree(const boost::filesystem::path& from, const boost::filesystem::path& to);
// Makes a listening socket file at `file`: something no one, root included, can open as a file.
void makeSocket(const boost::filesystem::path& file);

// The lobby bundle that `makeLobbyBundle` lays out, relative to the application folder.
inline const boost::filesystem::path kLobbyProgram = "Lobby.app/Contents/MacOS/Lobby";
inline const boost::filesystem::path kResources = "Lobby.app/Contents/Resources";
inline const boost::filesystem::path kFrameworks = "Lobby.app/Contents/Frameworks";
inline const boost::filesystem::path kLibraries =
    kFrameworks / "Electron Framework.framework/Versions/A/Libraries";
inline const boost::filesystem::path kObjCFramework = kFrameworks / "ReactiveObjC.framework";
// The program of the client's helper bundle of `kind` ("GPU", "Plugin" or "Renderer").
boost::filesystem::path helperProgram(const std::string& kind);
// A Lobby.app in `appFolder` with what the bundle repair treats: the four graphics libraries,
// the helper executables of the client "Poker" (all mode 0644) and the framework with its link.
void makeLobbyBundle(const boost::filesystem::path& appFolder);

// Every entry below `tree`, sorted, as a line: its path relative to `tree`, its type and mode,
// and a file's content or a link's text, then what `more` adds. What `skip` holds for is left out
// with all below it.
using Relative = std::function<bool(const boost::filesystem::path& relative)>;
std::vector<std::string> snapshot(
    const boost::filesystem::path& tree, const Relative& skip = {},
    const std::function<std::string(const boost::filesystem::path&)>& more = {});

// What a run of the launcher left behind: its journal, its rollback folder or a temporary name
// below `app`, but for the client's own files named `clientsOwn`; anything in the temporary
// directory `tmp` but an empty "poker_rollback".
std::vector<boost::filesystem::path> leftOver(const boost::filesystem::path& app,
                                              const boost::filesystem::path& tmp = {},
                                              const std::set<std::string>& clientsOwn = {});
