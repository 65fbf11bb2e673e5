#include <unistd.h>

#include <stdexcept>

#include "platform/platform.h"

boost::filesystem::path getExecutablePath() {
  char buffer[4096];
  const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer);
  // A result that fills the buffer may have been cut short.
  if (length <= 0 || length == static_cast<ssize_t>(sizeof buffer)) {
    throw std::runtime_error("No current process path found");
  }
  return boost::filesystem::path(buffer, buffer + length);
}
