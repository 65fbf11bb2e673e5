#include <unistd.h>

#include <cerrno>

#include "platform/platform.h"

bool copyFileContentByReading(int in, int out) {
  static char buffer[1 << 17];
  for (;;) {
    const ssize_t got = ::read(in, buffer, sizeof buffer);
    if (got == 0) return true;
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    for (ssize_t done = 0; done < got;) {
      const ssize_t put = ::write(out, buffer + done, got - done);
      if (put < 0 && errno != EINTR) return false;
      if (put > 0) done += put;
    }
  }
}
