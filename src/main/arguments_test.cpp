#include <gtest/gtest.h>

#include "main/arguments.h"

namespace {
struct Case {
  std::vector<const char*> argv;
  bool restart;
  bool kill;
  std::string session;
  std::string poker;
};

const Case kCases[] = {
    {{"launcher"}, false, false, "", ""},
    {{"launcher", "--restart", "--kill"}, true, true, "", ""},
    {{"launcher", "--RESTART", "--restart=1", "-restart", "-kill", "--Kill"}, false, false, "", ""},
    {{"launcher", "x", "--session"}, false, false, "", ""},
    {{"launcher", "--session", "a", "--session", "b"}, false, false, "a", ""},
    {{"launcher", "--session", "--kill"}, false, true, "--kill", ""},
    {{"launcher", "--session", ""}, false, false, "", ""},
    {{"launcher", "poker://1", "poker://2"}, false, false, "", "poker://1"},
    {{"launcher", "--session", "pokerX"}, false, false, "pokerX", "pokerX"},
    {{"launcher", "poke", "--poker", "Poker", "poker"}, false, false, "", "poker"},
    {{"poker-launcher", "--session", "s"}, false, false, "s", ""},
};

TEST(Arguments, LookupsTakeTheirValues) {
  for (const auto& c : kCases) {
    const int argc = static_cast<int>(c.argv.size());
    const auto* argv = c.argv.data();
    SCOPED_TRACE(::testing::PrintToString(c.argv));
    EXPECT_EQ(hasArgument("--restart", argc, argv), c.restart);
    EXPECT_EQ(hasArgument("--kill", argc, argv), c.kill);
    EXPECT_EQ(getArgumentValue("--session", argc, argv), c.session);
    EXPECT_EQ(getArgumentByPattern("poker", argc, argv), c.poker);
  }
}

TEST(Arguments, NullVectorFindsNothing) {
  EXPECT_FALSE(hasArgument("--kill", 3, nullptr));
  EXPECT_EQ(getArgumentValue("--session", 3, nullptr), "");
  EXPECT_EQ(getArgumentByPattern("poker", 3, nullptr), "");
}
}  // namespace
