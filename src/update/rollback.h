#pragma once

#include <vector>

#include <boost/filesystem/path.hpp>

#include "locations/folder_handles.h"
#include "update/journal.h"

// Keeping old versions while an update is applied, and putting them back.

// Where a run keeps the old versions: the folder, open for the run, and its path as lines show it.
struct RollbackFolder {
  Folder folder;
  boost::filesystem::path shown;
};

// Chooses, records and makes the rollback folder of the run of `journal` in the application
// folder `root`: in temporary directory / "poker_rollback" where old versions can move there and
// back, else in the private folder of the launcher's own in the application folder.
RollbackFolder startRollbackFolder(const boost::filesystem::path& appFolder, const Folder& root,
                                   Journal& journal);

// How an undo went: every old version back, and nothing the run made left.
struct Undo {
  bool restored;
  bool clean;
};

// Undoes, newest first, what the run of `records` changed in the application folder `root`: old
// versions go back by rename, what it added or made goes. A step done already is passed over, so
// an undo cut short is done again; a record that names a place outside, or one reached through a
// link, is not acted on, with a line saying so. Tells the user when an old version could not go
// back.
Undo rollback(const boost::filesystem::path& appFolder, const Folder& root,
              const std::vector<JournalRecord>& records);

// How an update run ends: by itself, or at a later start that finds the journal it left.
enum class Ending { run, laterStart };

// Ends the update run that `records` describe: finishes it when complete, else undoes it; then
// removes its rollback folder (announced when the run ends by itself; kept when an old version
// could not go back), a folder made to hold that, and, once nothing is left or at a later start,
// the journal.
void endUpdate(const boost::filesystem::path& appFolder, const Folder& root,
               const std::vector<JournalRecord>& records, Ending ending);
