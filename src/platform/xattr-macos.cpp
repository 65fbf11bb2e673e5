#include <fcntl.h>
#include <sys/types.h>

#include <cerrno>

#include "platform/platform.h"

// As <sys/xattr.h> declares them; the cross-build's macOS headers lack that file.
extern "C" {
ssize_t flistxattr(int fd, char* names, size_t size, int options);
int fremovexattr(int fd, const char* name, int options);
}

bool listExtendedAttributes(int fd, std::string& names) {
  for (;;) {
    const ssize_t size = ::flistxattr(fd, nullptr, 0, 0);
    names.clear();
    // ENOTSUP: a file system without extended attributes.
    if (size <= 0) return size == 0 || errno == ENOTSUP;
    names.resize(static_cast<std::size_t>(size));
    const ssize_t got = ::flistxattr(fd, &names[0], names.size(), 0);
    if (got >= 0) {
      names.resize(static_cast<std::size_t>(got));
      return true;
    }
    if (errno != ERANGE) return false;  // ERANGE: one was added meanwhile
  }
}

bool removeExtendedAttribute(int fd, const char* name) {
  return ::fremovexattr(fd, name, 0) == 0 || errno == ENOATTR;
}

bool carriesRejectedAttributeAt(int folder, const std::string& name) {
  const Descriptor file(
      ::openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  return file.fd < 0 || carriesRejectedAttribute(file.fd);
}
