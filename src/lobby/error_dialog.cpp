#include <iostream>

#include <boost/algorithm/string/replace.hpp>

#include "lobby/error_dialog.h"
#include "lobby/spawn_detached.h"

std::string dialogScript(const std::string& message) {
  // Inside an AppleScript string literal a backslash starts an escape: double it so that the
  // message shows as it is. Double quotes would end the literal.
  const auto escaped = boost::algorithm::replace_all_copy(message, "\\", "\\\\");
  const auto text = boost::algorithm::replace_all_copy(escaped, "\"", "'");
  return "display dialog \"" + text + "\" with title \"Poker Launcher\" buttons {\"OK\"}";
}

namespace {
// Throws when the dialog cannot be started.
void showError(const std::string& message) {
  spawnDetached("osascript", {"-e", dialogScript(message)});
}
}  // namespace

void reportError(const std::string& message) noexcept {
  try {
    showError(message);
  } catch (...) {
    std::cerr << message << std::endl;
  }
}
