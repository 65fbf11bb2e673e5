#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <optional>

#include <gtest/gtest.h>
#include <boost/filesystem/exception.hpp>
#include <boost/filesystem/operations.hpp>

#include "locations/temporary_names.h"
#include "platform/platform.h"
#include "temp_root.h"
#include "update/install_entry.h"

namespace fs = boost::filesystem;

namespace {
class InstallEntry : public TempRootTest {
 protected:
  void SetUp() override {
    TempRootTest::SetUp();
    source_ = root_ / "update/file";
    writeFile(source_, "new", 0644);
    fs::create_directories(root_ / "app");
  }

  // Whether this file system clones at all: then every file is a clone.
  bool clones() {
    const Descriptor in(::open(source_.c_str(), O_RDONLY));
    const Descriptor folder(::open(root_.c_str(), O_RDONLY | O_DIRECTORY));
    const bool cloned = cloneFile(in.fd, folder.fd, "probe", 0644);
    fs::remove(root_ / "probe");
    return cloned;
  }

  // Installs `source` at `target` as the tree copy does: made under a temporary name beside it,
  // then renamed over it.
  static InstallPath install(const fs::path& source, const fs::path& target,
                             std::optional<mode_t> mode = std::nullopt, bool shareable = false) {
    const Descriptor from(::open(source.parent_path().c_str(), O_RDONLY | O_DIRECTORY));
    const Descriptor to(::open(target.parent_path().c_str(), O_RDONLY | O_DIRECTORY));
    Entry entry{from.fd,
                source.filename().string(),
                {},
                to.fd,
                target.filename().string(),
                {},
                {},
                mode,
                shareable,
                source,
                target};
    EXPECT_EQ(::lstat(source.c_str(), &entry.status), 0);
    auto names = temporaryNameSeed();
    const auto temporary = nextTemporaryName(names);
    const auto made = makeEntry(entry, to.fd, temporary);
    EXPECT_EQ(::renameat(to.fd, temporary.c_str(), to.fd, entry.target.c_str()), 0);
    return made;
  }

  static ino_t inode(const fs::path& file) {
    struct stat status;
    return ::lstat(file.c_str(), &status) == 0 ? status.st_ino : 0;
  }

  fs::path source_;
};

TEST_F(InstallEntry, SharesTheBytesWhereItCanAndNeverChangesTheSource) {
  const bool clone = clones();
  const auto copy = clone ? InstallPath::clone : InstallPath::copy;
  const auto link = clone ? InstallPath::clone : InstallPath::hardLink;
  const struct {
    const char* name;
    std::optional<mode_t> mode;
    bool shareable;
    std::function<void(const fs::path&)> arrange;
    InstallPath path;
    bool needsRoot;
  } cases[] = {
      {"the update's bits", std::nullopt, true, nullptr, link, false},
      {"the same bits", 0644, true, nullptr, link, false},
      {"other bits", 0755, true, nullptr, copy, false},
      {"not shareable", std::nullopt, false, nullptr, copy, false},
      {"a file with another name", std::nullopt, true,
       [this](const fs::path& file) { fs::create_hard_link(file, root_ / "elsewhere"); }, copy,
       false},
      {"another user's file", std::nullopt, true,
       [](const fs::path& file) { ASSERT_EQ(lchown(file.c_str(), geteuid() + 1, -1), 0); }, copy,
       true},
  };
  std::string skipped;
  for (const auto& c : cases) {
    if (c.needsRoot && geteuid() != 0) {
      skipped += std::string(" \"") + c.name + "\"";
      continue;
    }
    SCOPED_TRACE(c.name);
    const auto source = root_ / "update" / c.name;
    writeFile(source, "new", 0644);
    if (c.arrange) c.arrange(source);
    const auto target = root_ / "app" / c.name;
    writeFile(target, "old");

    EXPECT_EQ(install(source, target, c.mode, c.shareable), c.path);

    EXPECT_EQ(readFile(target), "new");
    EXPECT_EQ(fs::status(target).permissions(), c.mode.value_or(0644));
    EXPECT_EQ(inode(target) == inode(source), c.path == InstallPath::hardLink);
    EXPECT_EQ(readFile(source), "new");
    EXPECT_EQ(fs::status(source).permissions(), 0644);
  }

  fs::create_symlink("file", root_ / "update/link");
  EXPECT_EQ(install(root_ / "update/link", root_ / "app/link"), InstallPath::symlink);
  EXPECT_EQ(fs::read_symlink(root_ / "app/link"), "file");
  EXPECT_EQ(leftOver(root_), std::vector<fs::path>{});
  if (!skipped.empty()) GTEST_SKIP() << "giving a file to another user needs root:" << skipped;
}

TEST_F(InstallEntry, RefusesAnythingButAFileOrALinkAndLeavesNoTemporaryName) {
  ASSERT_EQ(mkfifo((root_ / "update/pipe").c_str(), 0644), 0);
  makeSocket(root_ / "update/socket");
  const std::pair<fs::path, fs::path> cases[] = {
      {root_ / "update/pipe", root_ / "app/pipe"},
      {root_ / "update/socket", root_ / "app/socket"},
      {root_ / "update", root_ / "app/update"},
  };
  for (const auto& [source, target] : cases) {
    SCOPED_TRACE(source.string());
    EXPECT_THROW(install(source, target, 0755), fs::filesystem_error);
  }
  EXPECT_TRUE(fs::is_empty(root_ / "app"));
  EXPECT_EQ(leftOver(root_), std::vector<fs::path>{});
}
}  // namespace
