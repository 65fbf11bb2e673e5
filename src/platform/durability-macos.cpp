#include <fcntl.h>
#include <sys/resource.h>
#include <sys/syslimits.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/platform.h"

namespace {
// A volume that knows no such request (a network volume, some external disks) gets the best it
// offers: a plain fsync.
bool unsupported(int error) { return error == ENOTSUP || error == EINVAL || error == ENOTTY; }
}  // namespace

bool flushFileSystem(int on) {
  // fsync alone leaves the bytes in the drive's cache, in any order (fsync(2)): the whole volume
  // goes to the medium, as F_FULLFSYNC does for one file.
  if (::fsync_volume_np(on, SYNC_VOLUME_FULLSYNC | SYNC_VOLUME_WAIT) == 0) return true;
  if (!unsupported(errno)) return false;
  return ::fcntl(on, F_FULLFSYNC) == 0 || (unsupported(errno) && ::fsync(on) == 0);
}

bool orderWrites(int on) {
  // The drive keeps the order without emptying its cache: far cheaper than F_FULLFSYNC.
  if (::fcntl(on, F_BARRIERFSYNC) == 0) return true;
  return unsupported(errno) && ::fsync(on) == 0;
}

void allowManyOpenFiles() {
  struct rlimit limit;
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return;
  // setrlimit refuses more than OPEN_MAX, whatever the hard limit says.
  const rlim_t most = std::min<rlim_t>(limit.rlim_max, OPEN_MAX);
  if (limit.rlim_cur < most) {
    limit.rlim_cur = most;
    ::setrlimit(RLIMIT_NOFILE, &limit);
  }
}
