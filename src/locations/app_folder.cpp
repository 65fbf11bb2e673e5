#include <algorithm>
#include <cstring>
#include <utility>

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

namespace {
// The letters a case-insensitive volume takes for ASCII ones beyond A to Z: APFS compares names
// decomposed and case-folded in full (KELVIN SIGN decomposes to K, the rest fold). Fullwidth
// letters only decompose in compatibility, and a letter with a mark stays one with a mark.
const std::pair<const char*, const char*> kFoldedToAscii[] = {
    {"\xc3\x9f", "ss"},      // U+00DF SHARP S
    {"\xc5\xbf", "s"},       // U+017F LONG S
    {"\xe1\xba\x9e", "ss"},  // U+1E9E CAPITAL SHARP S
    {"\xe2\x84\xaa", "k"},   // U+212A KELVIN SIGN
    {"\xef\xac\x80", "ff"},  // U+FB00 to U+FB06, the Latin ligatures
    {"\xef\xac\x81", "fi"},  {"\xef\xac\x82", "fl"}, {"\xef\xac\x83", "ffi"},
    {"\xef\xac\x84", "ffl"}, {"\xef\xac\x85", "st"}, {"\xef\xac\x86", "st"},
};

// `name` as a case-insensitive volume compares it, where that can be an ASCII name.
std::string folded(const std::string& name) {
  std::string result;
  result.reserve(name.size());
  for (std::size_t at = 0; at < name.size(); ++at) {
    // Every letter of the table begins with a byte beyond ASCII; an update walks by many names.
    const auto fold =
        static_cast<unsigned char>(name[at]) < 0x80
            ? std::end(kFoldedToAscii)
            : std::find_if(std::begin(kFoldedToAscii), std::end(kFoldedToAscii),
                           [&](const auto& letter) {
                             return name.compare(at, std::strlen(letter.first), letter.first) == 0;
                           });
    if (fold != std::end(kFoldedToAscii)) {
      result += fold->second;
      at += std::strlen(fold->first) - 1;
    } else {
      const char c = name[at];
      result += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
  }
  return result;
}
}  // namespace

bool is_number(const std::string& text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool hasNumberAfter(const std::string& name, const std::string& prefix) {
  return name.compare(0, prefix.size(), prefix) == 0 && is_number(name.substr(prefix.size()));
}

bool isLauncherOwnName(const std::string& name) {
  // Where the file system ignores case (the Mac's default), every spelling names the same entry.
  const auto lower = folded(name);
  // The journal, and one set aside beside it.
  return lower == kLockFileName || lower.rfind(kJournalName, 0) == 0 ||
         lower == kRollbackFolderName || isTemporaryName(lower) ||
         hasNumberAfter(lower, kUpdatePrefix) || hasNumberAfter(lower, kOldUpdatePrefix);
}

fs::path getUpdateFolderPath(const fs::path& appFolder, const std::string& number) {
  return appFolder / (kUpdatePrefix + number);
}

fs::path getStorageFolderPath(const fs::path& appFolder) {
  const auto folder = appFolder / kStorageFolderName;
  if (!fs::exists(folder)) fs::create_directories(folder);
  return folder;
}
