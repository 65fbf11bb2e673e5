#include <iostream>

#include <boost/filesystem/operations.hpp>

#include "locations/locations.h"
#include "platform/platform.h"
#include "update/update.h"

namespace fs = boost::filesystem;

fs::path getRollbackParent() {
  const auto parent = fs::temp_directory_path() / "poker_rollback";
  // Another user who could reach the old files could swap what a restore puts back.
  makePrivateFolder(parent);
  return parent;
}

void copyUpdateFolder(const fs::path& updateFolder) {
  if (!fs::exists(updateFolder)) return;
  const auto appFolder = getCurrentAppFolder();
  const auto rollbackFolder = getRollbackParent() / fs::unique_path("%%%%%%%%");
  deleteRollbackFolder(rollbackFolder);

  try {
    copyFolder(updateFolder, appFolder, rollbackFolder);
  } catch (...) {
    if (rollback(appFolder, rollbackFolder)) {
      deleteRollbackFolder(rollbackFolder);
    } else {
      // The old versions that did not go back are still there to recover by hand.
      std::cout << "keeping rollback folder " << rollbackFolder.string() << std::endl;
    }
    throw;
  }
  deleteRollbackFolder(rollbackFolder);
}
