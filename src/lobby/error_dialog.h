#pragma once

#include <string>

// Shows `message` in the "Poker Launcher" dialog, or on standard error when not even the dialog
// can be started.
void reportError(const std::string& message) noexcept;

// The AppleScript statement that shows `message`.
std::string dialogScript(const std::string& message);
