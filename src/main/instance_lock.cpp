#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include <boost/filesystem/operations.hpp>

#include "locations/app_folder.h"
#include "main/instance_lock.h"
#include "platform/descriptor.h"

namespace {
// The open that follows could only say "No such file or directory"; this names the file and
// the real cause. Never through a link, which could make it create a file elsewhere.
void createLockFile(const boost::filesystem::path& lockPath) {
  const Descriptor file(
      ::open(lockPath.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666));
  if (file.fd < 0) {
    throw std::runtime_error("cannot create " + lockPath.string() + ": " + std::strerror(errno));
  }
}
}  // namespace

boost::interprocess::file_lock lockSingleInstance(const boost::filesystem::path& appFolder) {
  const auto lockPath = appFolder / kLockFileName;
  if (!boost::filesystem::exists(boost::filesystem::symlink_status(lockPath))) {
    createLockFile(lockPath);
  }
  boost::interprocess::file_lock lock(lockPath.c_str());
  if (!lock.try_lock()) {
    throw std::runtime_error("Another instance of this program is already running.");
  }
  return lock;
}
