#pragma once

#include <chrono>
#include <string>

// Records the start time in "liveUpdateLog.log" in the working directory; never throws.
void writeTimeTrackingFile();

// The one-line start-time record for the moment `now`.
std::string timeTrackingRecord(std::chrono::system_clock::time_point now);
