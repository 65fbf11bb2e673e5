#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <iostream>

#include "lobby/time_tracking.h"
#include "platform/platform.h"

namespace {
const char kFileName[] = "liveUpdateLog.log";

void warn() {
  std::cout << "warning: Could not create time tracking file '" << kFileName << "'" << std::endl;
}

// Opens the record for writing, emptied, only when it is a regular file or missing: never
// through a link planted in its place, never waiting on a named pipe, never into a device.
Descriptor openRecord() {
  Descriptor record(
      ::open(kFileName, O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666));
  struct stat status;
  if (record.fd >= 0 && (::fstat(record.fd, &status) != 0 || !S_ISREG(status.st_mode) ||
                         ::ftruncate(record.fd, 0) != 0)) {
    return Descriptor();
  }
  return record;
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
    const auto file = openRecord();
    if (file.fd < 0) return warn();
    // A failed write of an opened record goes unreported.
    writeAll(file.fd, record.data(), record.size());
  } catch (...) {
    warn();
  }
}
