#include <fcntl.h>
#include <sys/xattr.h>

#include <cstring>

#include "exfat_volume.h"
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

std::string stored(const boost::filesystem::path& folder, const std::string& given) {
  const Descriptor handle(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  std::string name;
  return storedName(handle.fd, given, name) ? name : "none";
}

TEST_F(Platform, TheStoredNameIsTheSpellingTheVolumeKeeps) {
  writeFile(root_ / "Foo", "");
  EXPECT_EQ(stored(root_, "Foo"), "Foo");  // on a volume that minds case
  const auto exfat = root_ / "exfat";
  const auto why = mountExfat(exfat);
  const std::shared_ptr<void> unmount(nullptr, [&](void*) { unmountExfat(exfat); });
  if (!why.empty()) GTEST_SKIP() << why;
  writeFile(exfat / "Foo", "");
  EXPECT_EQ(stored(exfat, "FOO"), "Foo");
}
}  // namespace
