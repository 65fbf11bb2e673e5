#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

#include "platform/platform.h"

namespace fs = boost::filesystem;

namespace {
[[noreturn]] void refuse(const fs::path& folder, const std::string& reason) {
  throw std::runtime_error("Unsafe temporary folder " + folder.string() + ": " + reason);
}
}  // namespace

void makePrivateFolder(const fs::path& folder) {
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    throwSystemError("cannot create folder", folder);
  }
  struct stat status;
  if (::lstat(folder.c_str(), &status) != 0) throwSystemError("cannot read folder", folder);
  if (S_ISLNK(status.st_mode)) refuse(folder, "it is a symbolic link");
  if (!S_ISDIR(status.st_mode)) refuse(folder, "it is not a folder");
  if (status.st_uid != ::geteuid()) refuse(folder, "it belongs to another user");
  if ((status.st_mode & 077) != 0 && ::chmod(folder.c_str(), 0700) != 0) {
    throwSystemError("cannot make folder private", folder);
  }
}
