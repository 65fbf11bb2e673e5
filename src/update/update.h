#pragma once

#include <optional>
#include <string>
#include <vector>

#include <boost/filesystem/exception.hpp>
#include <boost/filesystem/file_status.hpp>
#include <boost/filesystem/path.hpp>

// Applying a staged update.

// Lays the update folder's tree over the application folder, keeping every replaced entry in a
// fresh rollback folder; on a failure puts the replaced entries back and rethrows.
void copyUpdateFolder(const boost::filesystem::path& updateFolder);

// Puts the old versions that the copy kept in `rollbackFolder`, listed in `movedAside`, back
// into `appFolder`. Returns false, after telling the user, when something could not go back.
bool rollback(const boost::filesystem::path& appFolder,
              const boost::filesystem::path& rollbackFolder,
              const std::vector<boost::filesystem::path>& movedAside);

// Removes the rollback folder, as much of it as can go.
void deleteRollbackFolder(const boost::filesystem::path& rollbackFolder);

// The folder that holds the rollback folders: temporary directory / "poker_rollback", made
// private to this user, or, when that one cannot be trusted, a fresh private folder of this run
// beside it.
boost::filesystem::path getRollbackParent();

// The tree copy.

// Lays `sourceRoot` over `targetRoot`, skipping the launcher's own names. Appends to
// `movedAside`, as it goes and so also when it fails, the rollback path of each old version it
// keeps below `rollbackRoot`: what a restore puts back, and all that it puts back.
void copyFolder(const boost::filesystem::path& sourceRoot,
                const boost::filesystem::path& targetRoot,
                const boost::filesystem::path& rollbackRoot,
                std::vector<boost::filesystem::path>& movedAside);

// `path` moved from below `oldBase` to below `newBase`; textual, nothing is checked.
boost::filesystem::path changePathBase(const boost::filesystem::path& path,
                                       const boost::filesystem::path& oldBase,
                                       const boost::filesystem::path& newBase);

// The name an update entry takes in the application folder: "x.asar_tmp" becomes "x.asar".
boost::filesystem::path withAsarRename(const boost::filesystem::path& target);

void copyFileOrSymlink(const boost::filesystem::path& entry, const boost::filesystem::path& target,
                       const boost::filesystem::path& rollback,
                       std::vector<boost::filesystem::path>& movedAside);
void copySymlink(const boost::filesystem::path& entry, const boost::filesystem::path& target,
                 const boost::filesystem::path& rollback,
                 std::vector<boost::filesystem::path>& movedAside);
void copyFile(const boost::filesystem::path& entry, const boost::filesystem::path& target,
              const boost::filesystem::path& rollback,
              std::vector<boost::filesystem::path>& movedAside);

[[noreturn]] void throwCopyError(const boost::filesystem::path& entry,
                                 const boost::filesystem::path& target,
                                 const boost::filesystem::filesystem_error& error);

// How `installEntry` made the new version.
enum class InstallPath { clone, hardLink, copy, symlink };

// Puts at `target` a complete copy of `source`, a regular file or a symbolic link (never
// followed; anything else is refused), a file with the mode bits `mode` or else its own. The
// copy is made under a temporary name beside `target` and renamed over it last: `target` holds
// what it held or the whole new version, never anything in between. A file's bytes are shared
// where the file system can: a clone, or a second name of `source` when the bits agree.
InstallPath installEntry(const boost::filesystem::path& source,
                         const boost::filesystem::path& target,
                         std::optional<boost::filesystem::perms> mode = std::nullopt);

// A fresh temporary name in `folder`, of the launcher's own kind.
boost::filesystem::path temporaryIn(const boost::filesystem::path& folder);
bool isTemporaryName(const std::string& name);

// Before an update is applied: removes what an earlier start cut short left under temporary
// names in the application folder, and marks the folder until `finishApplying`.
void startApplying(const boost::filesystem::path& appFolder);
void finishApplying(const boost::filesystem::path& appFolder);

// Moves whatever stands at `from` (file, symbolic link or folder) to `to`, replacing a file or
// link there. Across file systems it installs a copy and then removes the original; a failure
// leaves the original in place and nothing at a temporary name.
void moveEntry(const boost::filesystem::path& from, const boost::filesystem::path& to);

// The bundle repair.

// Repairs execute bits and the framework link inside the lobby bundle.
void fixElectronUpdate();

// Adds owner rwx and group and others x to an existing file; reports a missing one.
void addExecutablePermission(boost::filesystem::path file);
