#include <gtest/gtest.h>

#include "update/update.h"

namespace {
TEST(ChangePathBase, MovesThePathOntoTheNewBase) {
  const struct {
    const char *path, *oldBase, *newBase, *expected;
  } cases[] = {
      {"/a/up/x/y.txt", "/a/up", "/b", "/b/x/y.txt"},
      {"/a/up", "/a/up", "/b", "/b"},
      {"/a/up/x", "/a/up", "/b/", "/b/x"},
      {"/a", "/a/up", "/b", "/b"},  // shorter than the base: nothing left to append
  };
  for (const auto& c : cases) EXPECT_EQ(changePathBase(c.path, c.oldBase, c.newBase), c.expected);
}

TEST(ChangePathBase, OnlyAnExactAsarTmpExtensionBecomesAsar) {
  const std::pair<const char*, const char*> cases[] = {
      {"/a/app.asar_tmp", "/a/app.asar"},
      {"/a/.asar_tmp", "/a/.asar"},
      {"/a/x.y.asar_tmp", "/a/x.y.asar"},
      {"/a/App.ASAR_TMP", "/a/App.ASAR_TMP"},
      {"/a/app.asar_tmp.bak", "/a/app.asar_tmp.bak"},
      {"/a/app.asar", "/a/app.asar"},
      {"/a/asar_tmp", "/a/asar_tmp"},
      {"/a.asar_tmp/x", "/a.asar_tmp/x"},
  };
  for (const auto& [target, expected] : cases) EXPECT_EQ(withAsarRename(target), expected);
}
}  // namespace
