#pragma once

#include <boost/filesystem/path.hpp>

// Lays the tree of `updateFolder` over `appFolder` as one transaction: a failure
// undoes everything it changed before the error goes on.
void copyUpdateFolder(const boost::filesystem::path& appFolder,
                      const boost::filesystem::path& updateFolder);

// Deals with the journal that a start cut short left in `appFolder`: a run that had put every
// entry in place is finished, any other undone.
void recoverInterruptedUpdate(const boost::filesystem::path& appFolder);
