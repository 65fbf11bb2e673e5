#pragma once

#include <string>

#include <boost/filesystem/path.hpp>

// Starts the lobby bundle of `appFolder` through `open`, passing the storage folder, the site
// environment, the session value and the poker argument.
void runLobby(const boost::filesystem::path& appFolder, const std::string& session,
              const std::string& pokerArgument);
