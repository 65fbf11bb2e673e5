#pragma once

#include <string>

#include <boost/filesystem/path.hpp>

// Repairs execute bits and the framework link inside the lobby bundle of `appFolder`. What it
// cannot repair it reports on standard output, and goes on.
void fixElectronUpdate(const boost::filesystem::path& appFolder);

// Adds owner rwx and group and others x to the regular file `relative` beneath `appFolder` where
// any of them is missing, never following a link there; reports a missing file and a refused
// change.
void addExecutablePermission(const boost::filesystem::path& appFolder, const std::string& relative);
