#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "locations/lobby_bundle.h"

namespace {
TEST(PokerAppName, ComesFromRendererHelperFoldersOnly) {
  const std::pair<std::string, std::string> cases[] = {
      {"Example Helper (Renderer).app", "Example"},
      {"My Poker Helper (Renderer).app", "My Poker"},
      {" Helper (Renderer).app", ""},
      {"Example Helper (GPU).app", ""},
      {"Example helper (Renderer).app", ""},
      {"Example Helper (renderer).app", ""},
      {"Example Helper (Renderer).app.bak", ""},
  };
  for (const auto& [folder, name] : cases)
    EXPECT_EQ(pokerAppNameFromHelper(folder), name) << folder;
}
}  // namespace
