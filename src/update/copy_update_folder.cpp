#include <exception>
#include <iostream>

#include <boost/filesystem/operations.hpp>

#include "locations/locations.h"
#include "platform/platform.h"
#include "update/update.h"

namespace fs = boost::filesystem;

namespace {
const char kSharedParent[] = "poker_rollback";
}  // namespace

fs::path getRollbackParent() {
  const auto temp = fs::temp_directory_path();
  const auto shared = temp / kSharedParent;
  try {
    // Another user who could reach the old files could swap what a restore puts back.
    makePrivateFolder(shared);
    return shared;
  } catch (const std::exception&) {
    // Left by someone else, or unusable: a folder of this run's own that nobody can have
    // prepared, rather than anything inside theirs or no update ever again.
    return makeFreshPrivateFolder(temp / (std::string(kSharedParent) + ".XXXXXX"));
  }
}

void copyUpdateFolder(const fs::path& updateFolder) {
  if (!fs::exists(updateFolder)) return;
  const auto appFolder = getCurrentAppFolder();
  startApplying(appFolder);
  const auto parent = getRollbackParent();
  const auto rollbackFolder = parent / fs::unique_path("%%%%%%%%");
  const auto finish = [&] {
    finishApplying(appFolder);
    // The shared folder stays for the next run; one of this run's own goes when it is empty.
    boost::system::error_code ignored;
    if (parent.filename() != kSharedParent) fs::remove(parent, ignored);
  };
  deleteRollbackFolder(rollbackFolder);

  std::vector<fs::path> movedAside;
  try {
    copyFolder(updateFolder, appFolder, rollbackFolder, movedAside);
  } catch (...) {
    if (rollback(appFolder, rollbackFolder, movedAside)) {
      deleteRollbackFolder(rollbackFolder);
    } else {
      // The old versions that did not go back are still there to recover by hand.
      std::cout << "keeping rollback folder " << rollbackFolder.string() << std::endl;
    }
    finish();
    throw;
  }
  deleteRollbackFolder(rollbackFolder);
  finish();
}
