#include <fcntl.h>
#include <sys/xattr.h>

#include <cstring>

#include "platform/platform.h"
#include "temp_root.h"

namespace {
TEST(ExtendedAttributes, AnInstalledFileKeepsAllButWhatTheSealOrGatekeeperObjectsTo) {
  for (const char* name :
       {"com.apple.FinderInfo", "com.apple.ResourceFork", "com.apple.quarantine"}) {
    EXPECT_FALSE(keepsExtendedAttribute(name)) << name;
  }
  EXPECT_TRUE(keepsExtendedAttribute("com.apple.FinderInfo.saved"));
}

using Platform = TempRootTest;

TEST_F(Platform, OnlyTheRefusedExtendedAttributesAreTakenOff) {
  const Descriptor file(open((root_ / "file").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
  for (const char* name : {"user.kept", "user.refused"}) {
    if (fsetxattr(file.fd, name, "", 0, 0) != 0) GTEST_SKIP() << "no user attributes here";
  }
  const auto keeps = [](const char* name) { return std::strcmp(name, "user.refused") != 0; };
  EXPECT_TRUE(carriesRejectedAttribute(file.fd, keeps));
  ASSERT_TRUE(dropRejectedAttributes(file.fd, keeps)) << std::strerror(errno);
  EXPECT_FALSE(carriesRejectedAttribute(file.fd, keeps));
  EXPECT_EQ(fgetxattr(file.fd, "user.kept", nullptr, 0), 0);
}
}  // namespace
