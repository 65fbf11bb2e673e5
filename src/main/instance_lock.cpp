#include <fstream>
#include <stdexcept>

#include <boost/filesystem/operations.hpp>

#include "main/main.h"

boost::interprocess::file_lock lockSingleInstance(const boost::filesystem::path& appFolder) {
  const auto lockPath = appFolder / kLockFileName;
  // A failed creation shows up as the open error of the lock itself.
  if (!boost::filesystem::exists(boost::filesystem::symlink_status(lockPath))) {
    std::ofstream(lockPath.string());
  }
  boost::interprocess::file_lock lock(lockPath.c_str());
  if (!lock.try_lock()) {
    throw std::runtime_error("Another instance of this program is already running.");
  }
  return lock;
}
