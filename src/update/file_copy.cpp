#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <boost/filesystem/exception.hpp>

#include "platform/platform.h"
#include "update/update.h"

namespace fs = boost::filesystem;

namespace {
struct Descriptor {
  int fd;
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
};
}  // namespace

void copyRegularFile(const fs::path& from, const fs::path& to, std::optional<fs::perms> mode) {
  // Our own copy rather than Boost's: Boost 1.74 syncs every file to disk, which makes an update
  // several times slower, and cannot copy between two file systems on recent kernels.
  const auto fail = [&] {
    throw fs::filesystem_error("copy_file", from, to,
                               boost::system::error_code(errno, boost::system::system_category()));
  };
  // Without waiting, should a named pipe have taken the file's place.
  Descriptor in{::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
  struct stat status;
  if (in.fd < 0 || ::fstat(in.fd, &status) != 0) fail();
  if (!S_ISREG(status.st_mode)) {
    errno = ENOTSUP;
    fail();
  }
  const mode_t bits = mode ? static_cast<mode_t>(*mode) & 07777 : status.st_mode & 07777;
  // Never written through a link that stands where the copy goes.
  Descriptor out{::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600)};
  if (out.fd < 0 || !copyFileContent(in.fd, out.fd, status.st_size) || ::fchmod(out.fd, bits) != 0)
    fail();
  const int fd = out.fd;
  out.fd = -1;
  if (::close(fd) != 0) fail();
}
