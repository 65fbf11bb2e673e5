#include <fcntl.h>
#include <sys/clonefile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/platform.h"

bool cloneFile(int in, const boost::filesystem::path& to, mode_t mode) {
  // An APFS clone: its own file at no cost in space or time, extended attributes included.
  if (::fclonefileat(in, AT_FDCWD, to.c_str(), CLONE_NOFOLLOW) != 0) return false;
  if (::chmod(to.c_str(), mode) != 0) {
    const int error = errno;
    ::unlink(to.c_str());
    errno = error;
    return false;
  }
  return true;
}
