#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/platform.h"

bool cloneFile(int in, int folder, const std::string& name, mode_t mode) {
  // btrfs, XFS and others share the extents; ext4 and tmpfs refuse.
  Descriptor out(
      ::openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (out.fd < 0) return false;
  bool cloned = ::ioctl(out.fd, FICLONE, in) == 0 && ::fchmod(out.fd, mode) == 0;
  int error = errno;
  if (::close(std::exchange(out.fd, -1)) != 0 && cloned) {
    cloned = false;
    error = errno;
  }
  if (!cloned) {
    ::unlinkat(folder, name.c_str(), 0);
    errno = error;
  }
  return cloned;
}
