#pragma once

#include <boost/filesystem/path.hpp>

// The absolute path of the running executable, as the system reports it.
// Throws std::runtime_error("No current process path found") when the system cannot tell.
boost::filesystem::path getExecutablePath();
