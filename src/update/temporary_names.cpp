#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <string>

#include <boost/filesystem/directory.hpp>
#include <boost/filesystem/exception.hpp>
#include <boost/filesystem/operations.hpp>

#include "main/main.h"
#include "update/update.h"

namespace fs = boost::filesystem;

namespace {
const std::string kPrefix = ".launcher-";
const std::string kSuffix = ".tmp";
constexpr std::size_t kRandomLength = 12;
}  // namespace

fs::path temporaryIn(const fs::path& folder) {
  // Random once, then a counter mixed in (splitmix64): names nobody can foresee, without a
  // system call for each. Of fixed length: the entry's own name may use up all a name can hold.
  static std::uint64_t state =
      std::stoull(fs::unique_path("%%%%%%%%%%%%%%%%").string(), nullptr, 16);
  std::uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  z ^= z >> 31;
  char random[kRandomLength + 1];
  std::snprintf(random, sizeof random, "%012llx",
                static_cast<unsigned long long>(z & 0xffffffffffffULL));
  return folder / (kPrefix + random + kSuffix);
}

bool isTemporaryName(const std::string& name) {
  if (name.size() != kPrefix.size() + kRandomLength + kSuffix.size() ||
      name.compare(0, kPrefix.size(), kPrefix) != 0 ||
      name.compare(name.size() - kSuffix.size(), kSuffix.size(), kSuffix) != 0) {
    return false;
  }
  const auto random = name.begin() + static_cast<std::ptrdiff_t>(kPrefix.size());
  return std::all_of(random, random + kRandomLength,
                     [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

namespace {
// Removes what a start cut short left under temporary names in the application folder.
void removeLeftoverTemporaries(const fs::path& appFolder) {
  std::vector<fs::path> leftovers;
  boost::system::error_code error;
  for (fs::recursive_directory_iterator
           it(appFolder, fs::directory_options::skip_permission_denied, error),
       end;
       !error && it != end; it.increment(error)) {
    const auto name = it->path().filename().string();
    if (isTemporaryName(name)) {
      leftovers.push_back(it->path());
      it.disable_recursion_pending();
    } else if (it.depth() == 0 && isLauncherOwnName(name)) {
      // The staged updates are applied as they are.
      it.disable_recursion_pending();
    }
  }
  for (const auto& leftover : leftovers) fs::remove_all(leftover, error);
}
}  // namespace

void startApplying(const fs::path& appFolder) {
  const auto mark = appFolder / kApplyingMark;
  // Only a start cut short while applying leaves temporary names, and it leaves its mark: the
  // walk through the whole installation is spared to every other start.
  if (fs::exists(fs::symlink_status(mark))) removeLeftoverTemporaries(appFolder);
  const int fd = ::open(mark.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) {
    throw fs::filesystem_error("cannot mark the update", mark,
                               boost::system::error_code(errno, boost::system::system_category()));
  }
  ::close(fd);
}

void finishApplying(const fs::path& appFolder) {
  boost::system::error_code ignored;
  fs::remove(appFolder / kApplyingMark, ignored);
}
