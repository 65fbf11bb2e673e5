#include <gtest/gtest.h>

#include "lobby/error_dialog.h"

namespace {
TEST(ErrorDialog, ScriptHoldsTheMessageAsOneStringLiteral) {
  const std::string tail = "\" with title \"Poker Launcher\" buttons {\"OK\"}";
  const std::pair<std::string, std::string> cases[] = {
      {"Error: \"/Apps/Lobby.app\" not found", "Error: '/Apps/Lobby.app' not found"},
      {"", ""},
      {"C:\\dir\\\"x\"", "C:\\\\dir\\\\'x'"},
      {"ends in \\", "ends in \\\\"},
      {"two\nlines \xc3\xa9", "two\nlines \xc3\xa9"},
  };
  for (const auto& [message, shown] : cases) {
    EXPECT_EQ(dialogScript(message), "display dialog \"" + shown + tail) << message;
  }
}
}  // namespace
