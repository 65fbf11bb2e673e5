#include <boost/filesystem/operations.hpp>

#include "locations/folder_handles.h"
#include "platform/platform.h"
#include "update/copy_update_folder.h"
#include "update/journal.h"
#include "update/rollback.h"
#include "update/tree_copy.h"

namespace fs = boost::filesystem;

void copyUpdateFolder(const fs::path& appFolder, const fs::path& updateFolder) {
  if (!fs::exists(updateFolder)) return;
  // Opened once: every change of the run is made below this handle.
  const auto root = openFolder(appFolder);
  auto journal = startJournal(appFolder, root);
  try {
    const auto rollback = startRollbackFolder(appFolder, root, journal);
    copyFolder(updateFolder, appFolder, root, rollback, journal);
    record(journal, {Change::complete, {}, {}, {}});
  } catch (...) {
    endUpdate(appFolder, root, journal.records, Ending::run);
    throw;
  }
  // The complete record on the disk before the first old version goes; until then the next
  // start finishes the run, or undoes it.
  if (!orderWrites(journal.file.fd)) {
    throwSystemError("cannot write the update journal", journal.shown);
  }
  endUpdate(appFolder, root, journal.records, Ending::run);
}

void recoverInterruptedUpdate(const fs::path& appFolder) {
  // Most starts find none, and are spared opening the application folder.
  if (!journalLeft(appFolder)) return;
  const auto root = openFolder(appFolder);
  // Quietly but for what goes back: the run's own lines were printed by the run.
  if (const auto records = readJournal(appFolder, root)) {
    endUpdate(appFolder, root, *records, Ending::laterStart);
  }
}
