#include <boost/filesystem/operations.hpp>

#include "update/copy_update_folder.h"
#include "update/journal.h"
#include "update/rollback.h"
#include "update/tree_copy.h"

namespace fs = boost::filesystem;

void copyUpdateFolder(const fs::path& appFolder, const fs::path& updateFolder) {
  if (!fs::exists(updateFolder)) return;
  auto journal = startJournal(appFolder);
  try {
    copyFolder(updateFolder, appFolder, startRollbackFolder(journal), journal);
    record(journal, {Change::complete, {}, {}, {}});
  } catch (...) {
    closeJournal(journal);
    endUpdate(appFolder, journal.records, false);
    throw;
  }
  closeJournal(journal);
  endUpdate(appFolder, journal.records, false);
}

void recoverInterruptedUpdate(const fs::path& appFolder) {
  const auto records = readJournal(appFolder);
  // Quietly but for what goes back: the run's own lines were printed by the run.
  if (records) endUpdate(appFolder, *records, true);
}
