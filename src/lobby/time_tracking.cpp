#include <cstdint>
#include <fstream>
#include <iostream>

#include <boost/filesystem/operations.hpp>

#include "lobby/lobby.h"

namespace {
const char kFileName[] = "liveUpdateLog.log";

void warn() {
  std::cout << "warning: Could not create time tracking file '" << kFileName << "'" << std::endl;
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
    // Opening a named pipe for writing would wait for a reader for ever.
    boost::system::error_code error;
    const auto status = boost::filesystem::status(kFileName, error);
    if (boost::filesystem::exists(status) && !boost::filesystem::is_regular_file(status)) {
      return warn();
    }
    std::ofstream file(kFileName, std::ios::binary | std::ios::trunc);
    if (!file) return warn();
    file << record;
  } catch (...) {
    warn();
  }
}
