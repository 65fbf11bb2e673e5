#pragma once

#include <string>
#include <vector>

#include <boost/filesystem/path.hpp>

// The staged update folders in the application folder, and the disposal of those not applied.

// The numbers of the "update_" folders in `appFolder`, in listing order.
std::vector<std::string> findUpdateNumbers(const boost::filesystem::path& appFolder);

// The newest of `numbers` (by numeric value, then by byte order), empty when there is none.
std::string newestUpdate(const std::vector<std::string>& numbers);

// Removes every staged update folder but the newest.
void disposeOfStaleUpdates(const boost::filesystem::path& appFolder,
                           const std::vector<std::string>& numbers, const std::string& newest);

// Removes the "old_update_" folders that an interrupted or failed removal left, where they are
// folders of the launcher's user on the application folder's file system, never entering another
// file system; best effort.
void removeLeftoverOldUpdates(const boost::filesystem::path& appFolder);
