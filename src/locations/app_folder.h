#pragma once

#include <string>

#include <boost/filesystem/path.hpp>

// The application folder and the names the launcher keeps in it.

// The folder that holds the launcher's executable, computed on the first successful call and
// the same for the rest of the process.
boost::filesystem::path getCurrentAppFolder();

// The single-instance lock file.
inline const std::string kLockFileName = "launcher.lock";
// The journal of an update being applied, left by a start cut short; one that could not be read
// is set aside as this name, a dot and eight random hex digits.
inline const std::string kJournalName = ".launcher-journal";
// Where old versions are kept while an update is applied, when the temporary directory cannot
// hold them.
inline const std::string kRollbackFolderName = ".launcher-rollback";
// A staged update is "update_" and a number; one being removed is "old_update_" and its number.
inline const std::string kUpdatePrefix = "update_";
inline const std::string kOldUpdatePrefix = "old_update_";
// The lobby's storage folder.
inline const std::string kStorageFolderName = "MacOS";

// Whether `text` is one or more ASCII digits.
bool is_number(const std::string& text);

// Whether `name` is `prefix` followed by a number.
bool hasNumberAfter(const std::string& name, const std::string& prefix);

// Whether `name`, at the top of the application folder, is one the launcher keeps for itself,
// in any spelling a case-insensitive volume takes for it: the lock file, the journal (or one set
// aside), the private rollback folder, a temporary name, a staged update, or a stale one.
bool isLauncherOwnName(const std::string& name);

// The staged update folder of update number `number` in `appFolder`.
boost::filesystem::path getUpdateFolderPath(const boost::filesystem::path& appFolder,
                                            const std::string& number);

// The lobby's storage folder in `appFolder`, created when nothing is there yet.
boost::filesystem::path getStorageFolderPath(const boost::filesystem::path& appFolder);
