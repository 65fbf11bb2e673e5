#pragma once

#include <boost/filesystem/path.hpp>

#include "locations/folder_handles.h"
#include "update/journal.h"
#include "update/rollback.h"

// Lays `sourceRoot` over `targetRoot`, open as `root`, skipping the launcher's own names and
// whatever would be written through a link leading out of it, keeping every old version in
// `rollback`; every change is in `journal` before it is made.
void copyFolder(const boost::filesystem::path& sourceRoot,
                const boost::filesystem::path& targetRoot, const Folder& root,
                const RollbackFolder& rollback, Journal& journal);

// The name an update entry takes in the application folder: "x.asar_tmp" becomes "x.asar".
boost::filesystem::path withAsarRename(const boost::filesystem::path& target);
