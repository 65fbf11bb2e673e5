#pragma once

#include <boost/filesystem/path.hpp>

#include "update/journal.h"

// Lays `sourceRoot` over `targetRoot`, skipping the launcher's own names, keeping every old
// version below `rollbackRoot`; every change is in `journal` before it is made.
void copyFolder(const boost::filesystem::path& sourceRoot,
                const boost::filesystem::path& targetRoot,
                const boost::filesystem::path& rollbackRoot, Journal& journal);

// The name an update entry takes in the application folder: "x.asar_tmp" becomes "x.asar".
boost::filesystem::path withAsarRename(const boost::filesystem::path& target);
