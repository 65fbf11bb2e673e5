#pragma once

#include <vector>

#include <boost/filesystem/path.hpp>

#include "update/journal.h"

// Keeping old versions while an update is applied, and putting them back.

// Chooses, records and returns the rollback folder of the run of `journal`, on the application
// folder's file system: in temporary directory / "poker_rollback" when it lies there and is
// private to this user, else in a private folder of the run's own (beside it, or in the
// application folder when the temporary directory is on another file system).
boost::filesystem::path startRollbackFolder(Journal& journal);

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

// Ends the update run that `records` describe: finishes it when complete, else undoes it; then
// removes its rollback folder (announced unless in a `recovery` at a later start; kept when an
// old version could not go back), a folder made to hold that, and, once nothing is left or in
// a recovery, the journal.
void endUpdate(const boost::filesystem::path& appFolder, const std::vector<JournalRecord>& records,
               bool recovery);
