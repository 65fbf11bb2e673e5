#include <algorithm>

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
  // Of fixed length: the entry's own name may already use up all that a name can hold.
  return folder / fs::unique_path(kPrefix + std::string(kRandomLength, '%') + kSuffix);
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
