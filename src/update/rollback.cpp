#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <exception>
#include <iostream>

#include <boost/filesystem/directory.hpp>
#include <boost/filesystem/operations.hpp>

#include "lobby/lobby.h"
#include "main/main.h"
#include "platform/platform.h"
#include "update/update.h"

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

// Removes the file or link that the run made at `path`, if it is there.
void removeMade(const fs::path& path) {
  struct stat status;
  if (!path.empty() && present(path, status) && !S_ISDIR(status.st_mode)) ::unlink(path.c_str());
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

bool rollback(const std::vector<JournalRecord>& records) {
  int failures = 0;
  for (auto it = records.rbegin(); it != records.rend(); ++it) {
    switch (it->change) {
      case Change::added:
        removeMade(it->path);
        removeMade(it->temporary);
        break;
      case Change::keptFile:
      case Change::keptLink:
      case Change::keptFolder:
        removeMade(it->temporary);
        if (!putBack(*it)) ++failures;
        break;
      case Change::folderMade:
        ::rmdir(it->path.c_str());  // only when it is empty again
        break;
      default:
        break;
    }
  }
  if (failures > 0) {
    reportError(
        "There was an error while rollbacking a failed update. You may need to reinstall the "
        "application.");
  }
  return failures == 0;
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
               bool announce) {
  const bool complete = !records.empty() && records.back().change == Change::complete;
  const bool restored = complete || rollback(records);
  // Newest first: the rollback folder goes before the folder made to hold it.
  for (auto it = records.rbegin(); it != records.rend(); ++it) {
    if (it->change == Change::rollbackFolder) {
      if (!restored && present(it->path)) {
        // The old versions that did not go back are still there to recover by hand.
        std::cout << "keeping rollback folder " << it->path.string() << std::endl;
      } else if (announce) {
        deleteRollbackFolder(it->path);
      } else {
        removeTree(it->path);
      }
    } else if (it->change == Change::privateFolder) {
      ::rmdir(it->path.c_str());  // only when it is empty
    } else {
      // A second name of the update's file that was in place already keeps its temporary name.
      removeMade(it->temporary);
    }
  }
  ::unlink((appFolder / kJournalName).c_str());
}
