#pragma once

#include <string>

#include <boost/filesystem/path.hpp>

// The lobby bundle and the names inside it.

// Where the bundle keeps its frameworks and helper bundles.
inline const std::string kFrameworksFolder = "Contents/Frameworks";

// The lobby bundle in `appFolder`.
boost::filesystem::path getLobbyFilePath(const boost::filesystem::path& appFolder);

// The client's product name, taken from its renderer helper bundle; empty when there is none.
std::string getPokerAppName(const boost::filesystem::path& appFolder);

// The name a helper bundle folder gives away, or empty when it is no renderer helper.
std::string pokerAppNameFromHelper(const std::string& folderName);
