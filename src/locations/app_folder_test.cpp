#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "locations/app_folder.h"

namespace {
TEST(AppFolder, IsNumberAcceptsAsciiDigitsOnly) {
  const std::pair<std::string, bool> cases[] = {
      {"", false},     {"0", true},
      {"0123", true},  {std::string(40, '9'), true},
      {"12a", false},  {" 1", false},
      {"-1", false},   {"+1", false},
      {"1.0", false},  {"\xd9\xa3", false} /* ARABIC-INDIC THREE */,
      {"\xb2", false},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(is_number(text), expected) << text;
}

TEST(AppFolder, OwnNamesInAnyLetterCase) {
  const std::pair<const char*, bool> cases[] = {
      {"launcher.lock", true},
      {"LAUNCHER.LOCK", true},
      {"Update_5", true},
      {"OLD_UPDATE_12", true},
      {".launcher-journal", true},
      {".Launcher-Rollback", true},
      {".launcher-0123456789AB.tmp", true},
      {"update_5b", false},
      {"update_", false},
      {"launcher.lock.bak", false},
      {"launcher", false},
      {".launcher-0123456789ab.tmpx", false},
      {"launcher.lo\xc4\xb8", false} /* a letter outside ASCII is no spelling of k */,
      {".launcher-rollbac\xe2\x84\xaa", true} /* KELVIN SIGN */,
      {".launcher-0123456789\xef\xac\x80.tmp", true} /* LATIN SMALL LIGATURE FF */,
      {"launcher.lo\xef\xbd\x83k", false} /* FULLWIDTH C */,
      {"launcher.loc\xcc\x81k", false} /* a combining mark */,
  };
  for (const auto& [name, own] : cases) EXPECT_EQ(isLauncherOwnName(name), own) << name;
}
}  // namespace
