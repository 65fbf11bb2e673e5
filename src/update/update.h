#pragma once

#include <boost/filesystem/path.hpp>

// Lays the update folder's tree over the application folder.
void copyUpdateFolder(const boost::filesystem::path& updateFolder);

// Repairs execute bits and the framework link inside the lobby bundle.
void fixElectronUpdate();
