#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/platform.h"

bool cloneFile(int in, const boost::filesystem::path& to, mode_t mode) {
  // btrfs, XFS and others share the extents; ext4 and tmpfs refuse.
  const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (out < 0) return false;
  bool cloned = ::ioctl(out, FICLONE, in) == 0 && ::fchmod(out, mode) == 0;
  int error = errno;
  if (::close(out) != 0 && cloned) {
    cloned = false;
    error = errno;
  }
  if (!cloned) {
    ::unlink(to.c_str());
    errno = error;
  }
  return cloned;
}
