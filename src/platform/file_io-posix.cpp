#include <unistd.h>

#include <cerrno>

#include "platform/platform.h"

bool writeAll(int fd, const char* data, std::size_t size) {
  for (std::size_t done = 0; done < size;) {
    const ssize_t put = ::write(fd, data + done, size - done);
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) return false;
    if (put == 0) {
      errno = EIO;
      return false;
    }
    done += static_cast<std::size_t>(put);
  }
  return true;
}

bool readAll(int fd, std::string& bytes) {
  char buffer[1 << 16];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got == 0) return true;
    if (got > 0) {
      bytes.append(buffer, static_cast<std::size_t>(got));
    } else if (errno != EINTR) {
      return false;
    }
  }
}
