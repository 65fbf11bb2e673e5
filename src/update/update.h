#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <boost/filesystem/file_status.hpp>
#include <boost/filesystem/path.hpp>

#include "update/journal.h"

// Applying a staged update.

// Lays the update folder's tree over the application folder as one transaction: a failure
// undoes everything it changed before the error goes on.
void copyUpdateFolder(const boost::filesystem::path& updateFolder);

// Deals with the journal that a start cut short left in `appFolder`: a run that had put every
// entry in place is finished, any other undone.
void recoverInterruptedUpdate(const boost::filesystem::path& appFolder);

// Ends the update run that `records` describe: finishes it when complete, else undoes it; then
// removes its rollback folder (announced unless in a `recovery` at a later start; kept when an
// old version could not go back), a folder made to hold that, and, once nothing is left or in
// a recovery, the journal.
void endUpdate(const boost::filesystem::path& appFolder, const std::vector<JournalRecord>& records,
               bool recovery);

// How an undo went: every old version back, and nothing the run made left.
struct Undo {
  bool restored;
  bool clean;
};

// Undoes, newest first, what the run of `records` changed: old versions go back by rename,
// what it added or made goes. A step done already is passed over, so an undo cut short is done
// again. Tells the user when an old version could not go back.
Undo rollback(const std::vector<JournalRecord>& records);

// Removes the rollback folder, as much of it as can go.
void deleteRollbackFolder(const boost::filesystem::path& rollbackFolder);

// Chooses, records and returns the rollback folder of the run of `journal`, on the application
// folder's file system: in temporary directory / "poker_rollback" when it lies there and is
// private to this user, else in a private folder of the run's own (beside it, or in the
// application folder when the temporary directory is on another file system).
boost::filesystem::path startRollbackFolder(Journal& journal);

// The tree copy.

// Lays `sourceRoot` over `targetRoot`, skipping the launcher's own names, keeping every old
// version below `rollbackRoot`; every change is in `journal` before it is made.
void copyFolder(const boost::filesystem::path& sourceRoot,
                const boost::filesystem::path& targetRoot,
                const boost::filesystem::path& rollbackRoot, Journal& journal);

// `path` moved from below `oldBase` to below `newBase`; textual, nothing is checked.
boost::filesystem::path changePathBase(const boost::filesystem::path& path,
                                       const boost::filesystem::path& oldBase,
                                       const boost::filesystem::path& newBase);

// The name an update entry takes in the application folder: "x.asar_tmp" becomes "x.asar".
boost::filesystem::path withAsarRename(const boost::filesystem::path& target);

// How `makeEntry` made the new version.
enum class InstallPath { clone, hardLink, copy, symlink };

// Makes at the free name `at` a complete copy of `source`, a regular file or a symbolic link
// (never followed; anything else is refused), a file with the mode bits `mode` or else its own.
// A file's bytes are shared where the file system can: a clone, or, when `shareable`, a second
// name of `source` if the bits agree and it is this user's file with no other name. On failure
// nothing is left at `at`. A file system that refuses one clone is not asked again for as long
// as the process lives.
InstallPath makeEntry(const boost::filesystem::path& source, const boost::filesystem::path& at,
                      std::optional<boost::filesystem::perms> mode = std::nullopt,
                      bool shareable = false);
// The same for a `source` whose `lstat` the caller has just read; a file is checked to be the
// same one when it is opened.
InstallPath makeEntry(const boost::filesystem::path& source, const struct stat& status,
                      const boost::filesystem::path& at,
                      std::optional<boost::filesystem::perms> mode, bool shareable);

// The same at the free name `temporary` beside `target`, then renamed over `target`: `target`
// holds what it held or the whole new version, never anything in between.
InstallPath installEntry(const boost::filesystem::path& source, const struct stat& status,
                         const boost::filesystem::path& target,
                         const boost::filesystem::path& temporary,
                         std::optional<boost::filesystem::perms> mode, bool shareable);

// The random start of a run's temporary names.
std::uint64_t temporaryNameSeed();
// A fresh temporary name in `folder`, of the launcher's own kind, the next after `names`.
boost::filesystem::path temporaryIn(const boost::filesystem::path& folder, std::uint64_t& names);
bool isTemporaryName(const std::string& name);

// The bundle repair.

// Repairs execute bits and the framework link inside the lobby bundle.
void fixElectronUpdate();

// Adds owner rwx and group and others x to an existing file; reports a missing one.
void addExecutablePermission(boost::filesystem::path file);
