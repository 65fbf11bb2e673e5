#pragma once

#include <optional>
#include <string>
#include <vector>

#include <boost/filesystem/path.hpp>

#include "locations/folder_handles.h"
#include "platform/descriptor.h"

// The journal of an update run: every change the run makes to the installation, recorded before
// it is made, so that a failed run and a run killed half-way are undone from the same records.
// It lies in the application folder from the start of a run to its end.

enum class Change : char {
  rollbackFolder = 'R',  // the folder that keeps the old versions; goes whole at the end
  privateFolder = 'P',   // a folder made to hold the rollback folder; goes when empty
  added = 'A',           // a file or link put where nothing was, made under `temporary`
  keptFile = 'F',        // the old version (a file or a link) at `path` kept at `kept`; the
  keptFolder = 'G',      //   new one made under `temporary`, or, for a folder, at `kept` and
                         //   then exchanged
  folderMade = 'D',      // a folder made on the way to an entry; goes when empty again
  respelled = 'N',       // an entry, one for the volume under both names, renamed from the name
                         //   `kept` to the update's spelling of it, `path`
  complete = 'C',        // every entry in place: the run is finished, never undone
};

// One change. Its places are named as the run found them, with no link in them: `path` and
// `temporary` below the application folder, `kept` below the rollback folder recorded last
// before it (for a respelling, a name in `path`'s folder). A rollback folder's own `path` is
// absolute, or below the application folder.
struct JournalRecord {
  Change change;
  std::string path;
  std::string kept;
  std::string temporary;
};

// The journal of the run under way, open for appending, and what it holds so far.
struct Journal {
  Descriptor file;
  boost::filesystem::path shown;
  std::vector<JournalRecord> records;
};

// Creates the journal of a new run in the application folder `root`; throws when one is there
// already or it cannot be made.
Journal startJournal(const boost::filesystem::path& appFolder, const Folder& root);

// Appends `record` with one write, before the change it records is made; throws on failure.
void record(Journal& journal, JournalRecord record);

// Whether anything stands where a run leaves its journal in `appFolder`.
bool journalLeft(const boost::filesystem::path& appFolder);

// The records of the journal a run left in the application folder `root`; nothing when there is
// none. A record that does not check (cut short by a kill, or bytes that are none) ends what is
// read. A file that cannot be read as a journal at all is set aside under a name of the
// launcher's own, with a line saying so, and counts as none.
std::optional<std::vector<JournalRecord>> readJournal(const boost::filesystem::path& appFolder,
                                                      const Folder& root);

// Removes the journal from the application folder `root`: its run is over.
void removeJournal(const Folder& root);

// The journal's bytes for `records`, and back; nothing when `bytes` are no journal of this kind.
std::string encodeRecords(const std::vector<JournalRecord>& records);
std::optional<std::vector<JournalRecord>> decodeRecords(const std::string& bytes);
