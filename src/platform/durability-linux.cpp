#include <sys/resource.h>
#include <unistd.h>

#include "platform/platform.h"

// One call for the whole file system: the kernel writes back every dirty page and name and
// waits for the disk's cache to be flushed, in a single journal commit, where syncing each file
// and folder would commit once per call.
bool flushFileSystem(int on) { return ::syncfs(on) == 0; }

// Linux offers no barrier that orders without flushing; the flush orders too.
bool orderWrites(int on) { return ::syncfs(on) == 0; }

void allowManyOpenFiles() {
  struct rlimit limit;
  if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
  }
}
