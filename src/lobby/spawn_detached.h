#pragma once

#include <string>
#include <vector>

// Starts `program`, found on PATH, with `args` and does not wait for it.
// Throws boost::process::process_error when it cannot be started.
void spawnDetached(const std::string& program, const std::vector<std::string>& args);
