#pragma once

#include <sys/types.h>

#include <boost/filesystem/path.hpp>

// The absolute path of the running executable, as the system reports it.
// Throws std::runtime_error("No current process path found") when the system cannot tell.
boost::filesystem::path getExecutablePath();

// Makes sure `folder` is a folder of the current user that only this user can enter: creates it
// with mode 0700 when missing, narrows a looser mode. Throws when it is a symbolic link, not a
// folder, or another user's.
void makePrivateFolder(const boost::filesystem::path& folder);

// Creates a new private folder named after `pattern`, whose last six characters "XXXXXX" are
// replaced so that no one can predict the name, and returns it.
boost::filesystem::path makeFreshPrivateFolder(const boost::filesystem::path& pattern);

// Makes `to`, which must not exist, a copy of the open regular file `in` that shares its bytes
// (copy on write), with the mode bits `mode`. Returns false, with errno set and nothing at `to`,
// where the file system cannot.
bool cloneFile(int in, const boost::filesystem::path& to, mode_t mode);

// Copies the open file `in`, of `size` bytes, to the open file `out`, the fastest way the
// system offers; on macOS with its extended attributes. Returns false, with errno set, on
// failure.
bool copyFileContent(int in, int out, off_t size);
