#include <gtest/gtest.h>

#include "update/change_path_base.h"

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
}  // namespace
