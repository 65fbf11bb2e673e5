#include <cerrno>
#include <cstring>
#include <stdexcept>

#include <gtest/gtest.h>

#include "main/instance_lock.h"
#include "temp_root.h"

namespace {
class InstanceLock : public TempRootTest {};

TEST_F(InstanceLock, ALockFileThatCannotBeMadeIsNamedWithTheCause) {
  // A regular file where the folder should be: not even root can create in it.
  writeFile(root_ / "app", "");

  std::string message;
  try {
    lockSingleInstance(root_ / "app");
  } catch (const std::exception& error) {
    message = error.what();
  }

  EXPECT_EQ(message, "cannot create " + (root_ / "app/launcher.lock").string() + ": " +
                         std::strerror(ENOTDIR));
}
}  // namespace
