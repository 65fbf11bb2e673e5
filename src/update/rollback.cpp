#include <unistd.h>

#include <iostream>

#include <boost/filesystem/directory.hpp>
#include <boost/filesystem/operations.hpp>

#include "lobby/lobby.h"
#include "update/update.h"

namespace fs = boost::filesystem;

namespace {
// Puts one old version back over whatever the update left at its place.
void restoreEntry(const fs::path& item, const fs::path& destination) {
  std::cout << "rollbacking " << item.string() << " into " << destination.string() << std::endl;
  // A rename replaces a file or link directly, so a failed move back still leaves the update's
  // version; only a folder against a file, or a file against an empty folder, must go first.
  if (fs::is_directory(fs::symlink_status(item)) ||
      fs::is_directory(fs::symlink_status(destination))) {
    fs::remove(destination);
  }
  moveEntry(item, destination);
}
}  // namespace

bool rollback(const fs::path& appFolder, const fs::path& rollbackFolder,
              const std::vector<fs::path>& movedAside) {
  // Only what the copy moved aside: the other folders of the rollback folder were made on the
  // way to those, and putting one back would replace whatever stands at its place.
  int failures = 0;
  for (const auto& item : movedAside) {
    try {
      restoreEntry(item, changePathBase(item, rollbackFolder, appFolder));
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

  // Item by item first: a whole-tree removal gives up at its first failure. A folder refuses
  // unlink, which spares each file a status look-up.
  boost::system::error_code walkError;
  for (fs::recursive_directory_iterator it(rollbackFolder, walkError), end; !walkError && it != end;
       it.increment(walkError)) {
    ::unlink(it->path().c_str());
  }
  boost::system::error_code ignored;
  fs::remove_all(rollbackFolder, ignored);
}
