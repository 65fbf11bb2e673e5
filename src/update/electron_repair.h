#pragma once

#include <boost/filesystem/path.hpp>

// Repairs execute bits and the framework link inside the lobby bundle of `appFolder`.
void fixElectronUpdate(const boost::filesystem::path& appFolder);

// Adds owner rwx and group and others x to an existing file; reports a missing one.
void addExecutablePermission(boost::filesystem::path file);
