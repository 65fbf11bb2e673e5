#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <exception>
#include <iostream>

#include <boost/filesystem/directory.hpp>
#include <boost/filesystem/operations.hpp>

#include "lobby/error_dialog.h"
#include "locations/app_folder.h"
#include "platform/platform.h"
#include "update/journal.h"
#include "update/rollback.h"

namespace fs = boost::filesystem;

namespace {
const char kSharedParent[] = "poker_rollback";

bool onOneFileSystem(const fs::path& a, const fs::path& b) {
  struct stat statusA, statusB;
  return ::stat(a.c_str(), &statusA) == 0 && ::stat(b.c_str(), &statusB) == 0 &&
         statusA.st_dev == statusB.st_dev;
}

fs::path makeRunFolder(Journal& journal, const fs::path& folder) {
  record(journal, {Change::privateFolder, folder, {}, {}});
  makePrivateFolder(folder);
  return folder;
}

bool present(const fs::path& path, struct stat& status) {
  return ::lstat(path.c_str(), &status) == 0;
}

// Removes the file or link that the run made at `path`; true once nothing of it is there. A
// folder there is none of the run's.
bool removeMade(const fs::path& path) {
  struct stat status;
  return path.empty() || ::unlink(path.c_str()) == 0 || errno == ENOENT || errno == ENOTDIR ||
         (present(path, status) && S_ISDIR(status.st_mode));
}

// Removes a folder that the run made, when it is empty; true once no empty one is there.
bool removeFolder(const fs::path& folder) {
  return ::rmdir(folder.c_str()) == 0 || errno == ENOENT || errno == ENOTEMPTY || errno == EEXIST ||
         errno == ENOTDIR;
}

// Puts the old version kept by `record` back at its path; false when it could not.
bool putBack(const JournalRecord& record) {
  struct stat kept, there;
  // Not kept yet, put back already, or gone with the temporary directory.
  if (!present(record.kept, kept)) return true;
  // A folder's rollback path holds the new version until the two are exchanged.
  const bool folder = record.change == Change::keptFolder;
  if (folder != S_ISDIR(kept.st_mode)) return true;
  const bool placed = present(record.path, there);
  // Still in its place too: the run ended before replacing it.
  if (placed && there.st_dev == kept.st_dev && there.st_ino == kept.st_ino) return true;

  std::cout << "rollbacking " << record.kept.string() << " into " << record.path.string()
            << std::endl;
  if (folder && placed) {
    if (exchangeEntries(record.kept, record.path)) return true;
    if (!exchangeRefused(errno) || std::remove(record.path.c_str()) != 0) return false;
  }
  return ::rename(record.kept.c_str(), record.path.c_str()) == 0;
}
}  // namespace

fs::path startRollbackFolder(Journal& journal) {
  boost::system::error_code noTemporary;
  const auto temp = fs::temp_directory_path(noTemporary);
  fs::path parent;
  if (noTemporary || !onOneFileSystem(temp, journal.appFolder)) {
    // Old versions stay on the application's file system, kept and put back by renames alone.
    parent = makeRunFolder(journal, journal.appFolder / kRollbackFolderName);
  } else {
    parent = temp / kSharedParent;
    try {
      // Another user who could reach the old files could swap what an undo puts back.
      makePrivateFolder(parent);
    } catch (const std::exception&) {
      // Left by someone else, or unusable: a folder of this run's own that nobody can have
      // prepared, rather than anything inside theirs or no update ever again.
      parent = makeRunFolder(
          journal, temp / (std::string(kSharedParent) + "." + fs::unique_path("%%%%%%").string()));
    }
  }
  for (;;) {
    const auto folder = parent / fs::unique_path("%%%%%%%%");
    if (fs::exists(fs::symlink_status(folder))) continue;
    record(journal, {Change::rollbackFolder, folder, {}, {}});
    return folder;
  }
}

Undo rollback(const std::vector<JournalRecord>& records) {
  Undo undo{true, true};
  for (auto it = records.rbegin(); it != records.rend(); ++it) {
    switch (it->change) {
      case Change::added:
        undo.clean = removeMade(it->path) && removeMade(it->temporary) && undo.clean;
        break;
      case Change::keptFile:
      case Change::keptLink:
      case Change::keptFolder:
        undo.clean = removeMade(it->temporary) && undo.clean;
        undo.restored = putBack(*it) && undo.restored;
        break;
      case Change::folderMade:
        undo.clean = removeFolder(it->path) && undo.clean;
        break;
      default:
        break;
    }
  }
  if (!undo.restored) {
    reportError(
        "There was an error while rollbacking a failed update. You may need to reinstall the "
        "application.");
  }
  return undo;
}

namespace {
void removeTree(const fs::path& folder) {
  // Item by item first: a whole-tree removal gives up at its first failure. A folder refuses
  // unlink, which spares each file a status look-up.
  boost::system::error_code walkError;
  for (fs::recursive_directory_iterator it(folder, walkError), end; !walkError && it != end;
       it.increment(walkError)) {
    ::unlink(it->path().c_str());
  }
  boost::system::error_code ignored;
  fs::remove_all(folder, ignored);
}

bool present(const fs::path& path) {
  struct stat status;
  return present(path, status);
}
}  // namespace

void deleteRollbackFolder(const fs::path& rollbackFolder) {
  if (!present(rollbackFolder)) return;
  std::cout << "deleting rollback folder " << rollbackFolder.string() << std::endl;
  removeTree(rollbackFolder);
}

void endUpdate(const fs::path& appFolder, const std::vector<JournalRecord>& records,
               bool recovery) {
  const bool complete = !records.empty() && records.back().change == Change::complete;
  auto undo = complete ? Undo{true, true} : rollback(records);
  // Newest first: the rollback folder goes before the folder made to hold it.
  for (auto it = records.rbegin(); it != records.rend(); ++it) {
    if (it->change == Change::rollbackFolder) {
      if (!undo.restored) {
        // The old versions that did not go back are still there to recover by hand.
        if (present(it->path)) {
          std::cout << "keeping rollback folder " << it->path.string() << std::endl;
        }
        continue;
      }
      recovery ? removeTree(it->path) : deleteRollbackFolder(it->path);
      undo.clean = !present(it->path) && undo.clean;
    } else if (it->change == Change::privateFolder) {
      undo.clean = removeFolder(it->path) && undo.clean;
    }
  }
  // While anything is left, the journal stays for the next start to finish the work; that start
  // itself, when it cannot, leaves what it could not put back and goes on.
  if ((undo.restored && undo.clean) || recovery) ::unlink((appFolder / kJournalName).c_str());
}
