#include <sys/xattr.h>

#include <cerrno>

#include "platform/platform.h"

bool listExtendedAttributes(int fd, std::string& names) {
  for (;;) {
    const ssize_t size = ::flistxattr(fd, nullptr, 0);
    names.clear();
    // ENOTSUP: a file system without extended attributes.
    if (size <= 0) return size == 0 || errno == ENOTSUP;
    names.resize(static_cast<std::size_t>(size));
    const ssize_t got = ::flistxattr(fd, &names[0], names.size());
    if (got >= 0) {
      names.resize(static_cast<std::size_t>(got));
      return true;
    }
    if (errno != ERANGE) return false;  // ERANGE: one was added meanwhile
  }
}

bool removeExtendedAttribute(int fd, const char* name) {
  return ::fremovexattr(fd, name) == 0 || errno == ENODATA;
}

// Linux lists every attribute under a namespace ("user.", "trusted.", "security.", "system."):
// none bears a name that the rule refuses, and no file need be opened to know it.
bool carriesRejectedAttributeAt(int, const std::string&) { return false; }
