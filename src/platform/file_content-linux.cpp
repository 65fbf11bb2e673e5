#include <unistd.h>

#include <cerrno>
#include <memory>

#include "platform/platform.h"

namespace {
// By plain reads and writes.
bool copyFileContentByReading(int in, int out) {
  constexpr std::size_t kSize = 1 << 17;
  const std::unique_ptr<char[]> buffer(new char[kSize]);
  for (;;) {
    const ssize_t got = ::read(in, buffer.get(), kSize);
    if (got == 0) return true;
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (!writeAll(out, buffer.get(), static_cast<std::size_t>(got))) return false;
  }
}
}  // namespace

bool copyFileContent(int in, int out, off_t size) {
  // The kernel copies without a trip through user space, but refuses some pairs of file
  // systems; reads and writes work between any two.
  for (off_t done = 0; done < size;) {
    const ssize_t copied = ::copy_file_range(in, nullptr, out, nullptr, size - done, 0);
    if (copied == 0) return true;  // the file shrank meanwhile
    if (copied > 0) {
      done += copied;
      continue;
    }
    if (errno == EINTR) continue;
    const bool refused = errno == EXDEV || errno == EINVAL || errno == ENOSYS ||
                         errno == EOPNOTSUPP || errno == EBADF;
    return refused && done == 0 ? copyFileContentByReading(in, out) : false;
  }
  return true;
}
