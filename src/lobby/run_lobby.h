#pragma once

#include <string>

// Starts the lobby bundle through `open`, passing the storage folder, the site environment,
// the session value and the poker argument.
void runLobby(const std::string& session, const std::string& pokerArgument);
