#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/platform.h"

Descriptor openPrivateFolder(int parent, const std::string& name) {
  if (::mkdirat(parent, name.c_str(), 0700) != 0 && errno != EEXIST) return Descriptor();
  // A link, or anything but a folder, is refused by the open itself.
  Descriptor folder(
      ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  struct stat status;
  if (folder.fd < 0 || ::fstat(folder.fd, &status) != 0) return Descriptor();
  if (status.st_uid != ::geteuid()) {
    errno = EPERM;
    return Descriptor();
  }
  if ((status.st_mode & 077) != 0 && ::fchmod(folder.fd, 0700) != 0) return Descriptor();
  return folder;
}
