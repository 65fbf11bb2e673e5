#include <unistd.h>

#include <iostream>

#include <boost/filesystem/directory.hpp>
#include <boost/filesystem/operations.hpp>

#include "lobby/lobby.h"
#include "update/update.h"

namespace fs = boost::filesystem;

namespace {
bool isBelow(const fs::path& path, const fs::path& folder) {
  const auto& text = path.string();
  const auto& prefix = folder.string();
  return text.size() > prefix.size() && text.compare(0, prefix.size(), prefix) == 0 &&
         text[prefix.size()] == '/';
}

// Puts one entry of the rollback folder back. Returns whether a whole folder went back.
bool restoreEntry(const fs::path& item, const fs::path& destination) {
  const bool folder = fs::is_directory(fs::symlink_status(item));
  const bool folderThere = fs::is_directory(fs::symlink_status(destination));
  // A folder that the application folder has too only led to the entries below it.
  if (folder && folderThere) return false;

  std::cout << "rollbacking " << item.string() << " into " << destination.string() << std::endl;
  // A rename replaces a file or link directly, so a failed move back still leaves the update's
  // version; only a folder against a file, or a file against an empty folder, must go first.
  if (folder || folderThere) fs::remove(destination);
  moveEntry(item, destination);
  return folder;
}
}  // namespace

std::vector<fs::path> listRollbackFolder(const fs::path& folder) {
  std::vector<fs::path> entries;
  if (!fs::exists(fs::symlink_status(folder))) return entries;
  for (fs::recursive_directory_iterator it(folder), end; it != end; ++it) {
    entries.push_back(it->path());
  }
  return entries;
}

bool rollback(const fs::path& appFolder, const fs::path& rollbackFolder) {
  int failures = 0;
  std::vector<fs::path> items;
  try {
    items = listRollbackFolder(rollbackFolder);
  } catch (...) {
    ++failures;
  }

  fs::path restoredFolder;
  for (const auto& item : items) {
    // The entries of a folder that went back whole went with it.
    if (!restoredFolder.empty() && isBelow(item, restoredFolder)) continue;
    try {
      const auto destination = changePathBase(item, rollbackFolder, appFolder);
      if (restoreEntry(item, destination)) restoredFolder = item;
    } catch (...) {
      ++failures;
    }
  }

  if (failures > 0) {
    reportError(
        "There was an error while rollbacking a failed update. You may need to reinstall the "
        "application.");
  }
  return failures == 0;
}

void deleteRollbackFolder(const fs::path& rollbackFolder) {
  if (!fs::exists(fs::symlink_status(rollbackFolder))) return;
  std::cout << "deleting rollback folder " << rollbackFolder.string() << std::endl;

  // Item by item first: a whole-tree removal gives up at its first failure.
  boost::system::error_code walkError;
  for (fs::recursive_directory_iterator it(rollbackFolder, walkError), end; !walkError && it != end;
       it.increment(walkError)) {
    boost::system::error_code ignored;
    if (!fs::is_directory(it->symlink_status(ignored))) ::unlink(it->path().c_str());
  }
  boost::system::error_code ignored;
  fs::remove_all(rollbackFolder, ignored);
}
