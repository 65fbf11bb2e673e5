#pragma once

#include <boost/filesystem/path.hpp>
#include <boost/interprocess/sync/file_lock.hpp>

// Takes the single-instance lock in the application folder, or throws when another launcher
// holds it.
boost::interprocess::file_lock lockSingleInstance(const boost::filesystem::path& appFolder);
