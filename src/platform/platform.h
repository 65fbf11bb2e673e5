#pragma once

#include <boost/filesystem/path.hpp>

// The absolute path of the running executable, as the system reports it.
// Throws std::runtime_error("No current process path found") when the system cannot tell.
boost::filesystem::path getExecutablePath();

// Makes sure `folder` is a folder of the current user that only this user can enter: creates it
// with mode 0700 when missing, narrows a looser mode. Throws when it is a symbolic link, not a
// folder, or another user's.
void makePrivateFolder(const boost::filesystem::path& folder);
