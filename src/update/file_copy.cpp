#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <boost/filesystem/operations.hpp>

#include "update/update.h"

namespace fs = boost::filesystem;

namespace {
[[noreturn]] void throwLastError(const fs::path& from, const fs::path& to) {
  throw fs::filesystem_error("copyRegularFile", from, to,
                             boost::system::error_code(errno, boost::system::system_category()));
}

struct Descriptor {
  int fd;
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
};

// Content and mode bits by plain reads and writes, which work between any two file systems.
void copyByReading(const fs::path& from, const fs::path& to) {
  Descriptor in{::open(from.c_str(), O_RDONLY | O_CLOEXEC)};
  struct stat status;
  if (in.fd < 0 || ::fstat(in.fd, &status) != 0) throwLastError(from, to);
  const mode_t mode = status.st_mode & 07777;
  Descriptor out{::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode)};
  if (out.fd < 0) throwLastError(from, to);

  static char buffer[1 << 16];
  for (;;) {
    const ssize_t got = ::read(in.fd, buffer, sizeof buffer);
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR) continue;
      throwLastError(from, to);
    }
    for (ssize_t done = 0; done < got;) {
      const ssize_t put = ::write(out.fd, buffer + done, got - done);
      if (put < 0 && errno != EINTR) throwLastError(from, to);
      if (put > 0) done += put;
    }
  }
  if (::fchmod(out.fd, mode) != 0) throwLastError(from, to);
  const int fd = out.fd;
  out.fd = -1;
  if (::close(fd) != 0) throwLastError(from, to);
}
}  // namespace

void copyRegularFile(const fs::path& from, const fs::path& to) {
  try {
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
  } catch (const fs::filesystem_error& error) {
    // Boost 1.74 gives up where the kernel refuses copy_file_range between two file systems.
    if (error.code() != boost::system::errc::cross_device_link) throw;
    copyByReading(from, to);
  }
}
