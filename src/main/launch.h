#pragma once

#include <string>

// Runs one start; 0 after a launch or a kill run, -1 after a failure shown to the user.
int realMain(bool restart, bool kill, const std::string& session, const std::string& pokerArgument);
