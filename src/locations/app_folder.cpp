#include <algorithm>

#include <boost/filesystem/operations.hpp>

#include "locations/app_folder.h"
#include "locations/temporary_names.h"
#include "platform/platform.h"

namespace fs = boost::filesystem;

fs::path getCurrentAppFolder() {
  static fs::path currentAppFolder;
  if (!currentAppFolder.empty()) return currentAppFolder;

  const auto folder = getExecutablePath().parent_path();
  currentAppFolder = fs::absolute(folder, fs::current_path());
  return currentAppFolder;
}

bool is_number(const std::string& text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool hasNumberAfter(const std::string& name, const std::string& prefix) {
  return name.compare(0, prefix.size(), prefix) == 0 && is_number(name.substr(prefix.size()));
}

bool isLauncherOwnName(const std::string& name) {
  // Where the file system ignores case (the Mac's default), every spelling names the same entry.
  std::string lower(name.size(), '\0');
  std::transform(name.begin(), name.end(), lower.begin(), [](char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  });
  // The journal, and one set aside beside it.
  return lower == kLockFileName || lower.rfind(kJournalName, 0) == 0 ||
         lower == kRollbackFolderName || isTemporaryName(lower) ||
         hasNumberAfter(lower, kUpdatePrefix) || hasNumberAfter(lower, kOldUpdatePrefix);
}

fs::path getStorageFolderPath(const fs::path& appFolder) {
  const auto folder = appFolder / kStorageFolderName;
  if (!fs::exists(folder)) fs::create_directories(folder);
  return folder;
}
