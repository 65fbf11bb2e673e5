#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <iostream>

#include "lobby/time_tracking.h"

namespace {
const char kFileName[] = "liveUpdateLog.log";

void warn() {
  std::cout << "warning: Could not create time tracking file '" << kFileName << "'" << std::endl;
}

// Opens the record for writing, emptied, only when it is a regular file or missing: never
// through a link planted in its place, never waiting on a named pipe, never into a device.
int openRecord() {
  const int fd = ::open(kFileName, O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd < 0) return -1;
  struct stat status;
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || ::ftruncate(fd, 0) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}
}  // namespace

std::string timeTrackingRecord(std::chrono::system_clock::time_point now) {
  const auto milliseconds =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
  return "{\"logType\": \"startingTimeStamp\", \"value\": " +
         std::to_string(static_cast<std::int64_t>(milliseconds)) + "}\n";
}

void writeTimeTrackingFile() {
  try {
    const auto record = timeTrackingRecord(std::chrono::system_clock::now());
    const int fd = openRecord();
    if (fd < 0) return warn();
    // A failed write of an opened record goes unreported.
    for (std::size_t done = 0; done < record.size();) {
      const ssize_t put = ::write(fd, record.data() + done, record.size() - done);
      if (put <= 0) break;
      done += static_cast<std::size_t>(put);
    }
    ::close(fd);
  } catch (...) {
    warn();
  }
}
