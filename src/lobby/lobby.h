#pragma once

#include <chrono>
#include <string>
#include <vector>

// Starts the lobby bundle through `open`, passing the storage folder, the site environment,
// the session value and the poker argument.
void runLobby(const std::string& session, const std::string& pokerArgument);

// Starts `program`, found on PATH, with `args` and does not wait for it.
// Throws boost::process::process_error when it cannot be started.
void spawnDetached(const std::string& program, const std::vector<std::string>& args);

// Shows `message` in the "Poker Launcher" dialog. Throws when the dialog cannot be started.
void showError(const std::string& message);

// Shows `message` in the dialog, or on standard error when not even the dialog can be started.
void reportError(const std::string& message) noexcept;

// The AppleScript statement that shows `message`.
std::string dialogScript(const std::string& message);

// Records the start time in "liveUpdateLog.log" in the working directory; never throws.
void writeTimeTrackingFile();

// The one-line start-time record for the moment `now`.
std::string timeTrackingRecord(std::chrono::system_clock::time_point now);
