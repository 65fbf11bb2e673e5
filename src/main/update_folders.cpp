#include <algorithm>

#include <boost/filesystem/directory.hpp>
#include <boost/filesystem/operations.hpp>

#include "locations/app_folder.h"
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
    fs::rename(appFolder / (kUpdatePrefix + number), old);
    boost::system::error_code ignored;
    fs::remove_all(old, ignored);
  }
}

void removeLeftoverOldUpdates(const fs::path& appFolder) {
  boost::system::error_code ignored;
  std::vector<fs::path> leftovers;
  for (fs::directory_iterator it(appFolder, ignored), end; !ignored && it != end;
       it.increment(ignored)) {
    const auto name = it->path().filename().string();
    boost::system::error_code unreadable;
    if (hasNumberAfter(name, kOldUpdatePrefix) &&
        fs::is_directory(it->symlink_status(unreadable))) {
      leftovers.push_back(it->path());
    }
  }
  for (const auto& leftover : leftovers) fs::remove_all(leftover, ignored);
}
