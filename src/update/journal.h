#pragma once

#include <optional>
#include <string>
#include <vector>

#include <boost/filesystem/path.hpp>

// The journal of an update run: every change the run makes to the installation, recorded before
// it is made, so that a failed run and a run killed half-way are undone from the same records.
// It lies in the application folder while the run goes on and is removed when the run ends.

enum class Change : char {
  rollbackFolder = 'R',  // the folder that keeps the old versions; goes whole at the end
  privateFolder = 'P',   // a folder made to hold the rollback folder; goes when empty
  added = 'A',           // a file or link put where nothing was, made under `temporary`
  keptFile = 'F',        // the old version at `path` kept at `kept`; the new one made under
  keptLink = 'L',        //   `temporary`, or, for a folder, at `kept` and then exchanged
  keptFolder = 'G',
  folderMade = 'D',  // a folder made on the way to an entry; goes when empty again
  complete = 'C',    // every entry in place: the run is finished, never undone
};

struct JournalRecord {
  Change change;
  boost::filesystem::path path;
  boost::filesystem::path kept;
  boost::filesystem::path temporary;
};

// A journal open for appending, and what it holds so far.
struct Journal {
  boost::filesystem::path appFolder;
  int fd;
  std::vector<JournalRecord> records;
};

// Creates the journal of a new run; throws when one is there already or it cannot be made.
Journal startJournal(const boost::filesystem::path& appFolder);

// Appends `record` with one write, before the change it records is made; throws on failure.
void record(Journal& journal, const JournalRecord& record);

void closeJournal(Journal& journal);

// The records of the journal left in `appFolder`, or nothing when there is none. A record cut
// short by a kill, whose change was thus never made, is left out.
std::optional<std::vector<JournalRecord>> readJournal(const boost::filesystem::path& appFolder);

// The journal's bytes for `records`, and back: paths inside `appFolder` are kept relative to
// it, so a journal still holds when the application folder is moved.
std::string encodeRecords(const std::vector<JournalRecord>& records,
                          const boost::filesystem::path& appFolder);
std::vector<JournalRecord> decodeRecords(const std::string& bytes,
                                         const boost::filesystem::path& appFolder);
