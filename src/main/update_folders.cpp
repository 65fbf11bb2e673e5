#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include <boost/filesystem/directory.hpp>
#include <boost/filesystem/operations.hpp>

#include "locations/app_folder.h"
#include "locations/folder_handles.h"
#include "main/update_folders.h"

namespace fs = boost::filesystem;

namespace {
std::string withoutLeadingZeros(const std::string& number) {
  return number.substr(std::min(number.find_first_not_of('0'), number.size()));
}

// Whether update number `a` is newer than `b`: by numeric value, then by byte order.
bool isNewerUpdate(const std::string& a, const std::string& b) {
  // Compared as digit strings, so that numbers of any length work.
  const auto valueA = withoutLeadingZeros(a);
  const auto valueB = withoutLeadingZeros(b);
  if (valueA.size() != valueB.size()) return valueA.size() > valueB.size();
  if (valueA != valueB) return valueA > valueB;
  return a > b;
}
}  // namespace

std::vector<std::string> findUpdateNumbers(const fs::path& appFolder) {
  std::vector<std::string> numbers;
  for (fs::directory_iterator it(appFolder), end; it != end; ++it) {
    // The name is checked first, so that an unrelated entry whose status cannot be read does
    // not stop the start.
    const auto name = it->path().filename().string();
    if (!hasNumberAfter(name, kUpdatePrefix) || !fs::is_directory(it->status())) continue;
    numbers.push_back(name.substr(kUpdatePrefix.size()));
  }
  return numbers;
}

std::string newestUpdate(const std::vector<std::string>& numbers) {
  std::string newest;
  for (const auto& number : numbers) {
    if (newest.empty() || isNewerUpdate(number, newest)) newest = number;
  }
  return newest;
}

void disposeOfStaleUpdates(const fs::path& appFolder, const std::vector<std::string>& numbers,
                           const std::string& newest) {
  for (const auto& number : numbers) {
    if (number == newest) continue;
    const auto old = appFolder / (kOldUpdatePrefix + number);
    fs::rename(getUpdateFolderPath(appFolder, number), old);
    boost::system::error_code ignored;
    fs::remove_all(old, ignored);
  }
}

void removeLeftoverOldUpdates(const fs::path& appFolder) {
  auto listing =
      listFolder(Descriptor(::open(appFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)));
  struct stat status;
  if (!listing || ::fstat(::dirfd(listing.get()), &status) != 0) return;
  const int folder = ::dirfd(listing.get());
  const auto device = status.st_dev;
  // What a removal cut short leaves is a folder of the launcher's user on this file system; one
  // of another user, or another file system, is not the launcher's to remove.
  std::vector<std::string> leftovers;
  while (const auto* entry = ::readdir(listing.get())) {
    const std::string name = entry->d_name;
    if (hasNumberAfter(name, kOldUpdatePrefix) &&
        ::fstatat(folder, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISDIR(status.st_mode) && status.st_uid == ::geteuid() && status.st_dev == device) {
      leftovers.push_back(name);
    }
  }
  for (const auto& leftover : leftovers) removeTree(folder, leftover, device);
}
