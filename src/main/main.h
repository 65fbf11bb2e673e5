#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <boost/filesystem/path.hpp>
#include <boost/interprocess/sync/file_lock.hpp>

bool hasArgument(const std::string& name, int argc, const char* const* argv);
// The argument after `name`; empty when `name` is absent or last.
std::string getArgumentValue(const std::string& name, int argc, const char* const* argv);
// The first argument that begins with `prefix`, whole.
std::string getArgumentByPattern(const std::string& prefix, int argc, const char* const* argv);

// Runs one start; 0 after a launch or a kill run, -1 after a failure shown to the user.
int realMain(bool restart, bool kill, const std::string& session, const std::string& pokerArgument);

// Takes the single-instance lock in the application folder, or throws when another launcher
// holds it.
boost::interprocess::file_lock lockSingleInstance(const boost::filesystem::path& appFolder);

// The single-instance lock file in the application folder.
inline const std::string kLockFileName = "launcher.lock";
// The journal of an update being applied, left by a start cut short.
inline const std::string kJournalName = ".launcher-journal";
// Where old versions are kept while an update is applied, when the temporary directory lies on
// another file system.
inline const std::string kRollbackFolderName = ".launcher-rollback";

bool is_number(const std::string& text);

// Whether `name`, at the top of the application folder, is one the launcher keeps for itself,
// in any ASCII letter case: the lock file, the journal, the private rollback folder, a
// temporary name, a staged update, or a stale one.
bool isLauncherOwnName(const std::string& name);

// The numbers of the "update_" folders in `appFolder`, in listing order.
std::vector<std::string> findUpdateNumbers(const boost::filesystem::path& appFolder);

// Whether update number `a` is newer than `b`: by numeric value, then by byte order.
bool isNewerUpdate(const std::string& a, const std::string& b);

// The newest of `numbers`, empty when there is none.
std::string newestUpdate(const std::vector<std::string>& numbers);

// Removes every staged update folder but the newest.
void disposeOfStaleUpdates(const boost::filesystem::path& appFolder,
                           const std::vector<std::string>& numbers, const std::string& newest);

// Removes the "old_update_" folders that an interrupted or failed removal left; best effort.
void removeLeftoverOldUpdates(const boost::filesystem::path& appFolder);

// Waits for the old client to quit before its files are replaced.
void restartWait();

// Asks running clients to quit; returns how many are still running.
std::uint64_t killLobbyProcesses();
