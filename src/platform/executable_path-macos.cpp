#include <libproc.h>
#include <unistd.h>

#include <stdexcept>

#include "platform/platform.h"

boost::filesystem::path getExecutablePath() {
  char buffer[PROC_PIDPATHINFO_MAXSIZE];
  const int length = proc_pidpath(getpid(), buffer, sizeof buffer);
  if (length <= 0) throw std::runtime_error("No current process path found");
  return boost::filesystem::path(buffer, buffer + length);
}
