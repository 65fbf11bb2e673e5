#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>

#include "locations/folder_handles.h"
#include "locations/lobby_bundle.h"
#include "update/electron_repair.h"

namespace fs = boost::filesystem;

namespace {
const char* const kGraphicsLibraries[] = {
    "libEGL.dylib",
    "libswiftshader_libEGL.dylib",
    "libGLESv2.dylib",
    "libswiftshader_libGLESv2.dylib",
};
const char* const kHelperKinds[] = {" Helper (Renderer)", " Helper (GPU)", " Helper (Plugin)"};

// Owner rwx, group and others x.
constexpr mode_t kExecuteBits = S_IRWXU | S_IXGRP | S_IXOTH;

// Relative: it must still resolve after the application folder moves, and the strict signature
// check refuses absolute links that lead outside the system's folders. Through Current, as the
// framework is built: that check takes a top-level link only to its namesake in Versions/Current
// or in the version that Current names.
const char kFrameworkLinkText[] = "Versions/Current/ReactiveObjC";
// The only one that resolves in a framework without Versions/Current; earlier repairs made it too.
const char kVersionLinkText[] = "Versions/A/ReactiveObjC";
const char kFrameworkLink[] = "ReactiveObjC";
// Where a new link is made before it replaces a dangling one. A repair cut short between the two
// leaves it, and the next repair removes it: only a link of a text the repair makes.
const char kPendingLink[] = ".launcher-framework-link";

void removePendingLink(int framework) {
  std::string text;
  if (readLink(framework, kPendingLink, text) &&
      (text == kFrameworkLinkText || text == kVersionLinkText)) {
    ::unlinkat(framework, kPendingLink, 0);
  }
}

void reportMissing(const fs::path& file) {
  std::cout << "could not set exe permission for non-existent file " << file.string() << std::endl;
}

void reportRefused(const char* what, const fs::path& path, int error) {
  std::cout << what << path.string() << ": " << std::strerror(error) << std::endl;
}

// Makes the framework's top-level link when it is missing or dangles; whatever else stands there
// is left alone. Works in the framework folder as found beneath the application folder.
void repairFrameworkLink(const fs::path& appFolder, const std::string& framework) {
  // Every start comes here, and nearly every one finds the link leading to its file and nothing
  // left by a repair cut short: two looks, and the application folder stays unopened.
  struct stat status;
  const auto path = appFolder / framework;
  if (::stat((path / kFrameworkLink).c_str(), &status) == 0 &&
      ::lstat((path / kPendingLink).c_str(), &status) != 0 && errno == ENOENT) {
    return;
  }
  const auto root = openFolder(appFolder);
  const auto reached = walk(root, framework, {true, appFolder});
  if (reached.reach != Reach::folder) return;
  const int folder = reached.folder.handle.fd;
  removePendingLink(folder);
  const char* const text = ::fstatat(folder, "Versions/Current", &status, AT_SYMLINK_NOFOLLOW) == 0
                               ? kFrameworkLinkText
                               : kVersionLinkText;
  const auto shown = path / kFrameworkLink;
  if (::fstatat(folder, kFrameworkLink, &status, AT_SYMLINK_NOFOLLOW) != 0) {
    if (::symlinkat(text, folder, kFrameworkLink) != 0) {
      reportRefused("could not make link ", shown, errno);
    }
    return;
  }
  // A dangling link of the very text a repair would make is left: replacing it changes nothing.
  std::string standing;
  if (!S_ISLNK(status.st_mode) || ::fstatat(folder, kFrameworkLink, &status, 0) == 0 ||
      (readLink(folder, kFrameworkLink, standing) && standing == text)) {
    return;
  }
  // Made aside and renamed over the dangling one, so the name never stands empty.
  if (::symlinkat(text, folder, kPendingLink) != 0 ||
      ::renameat(folder, kPendingLink, folder, kFrameworkLink) != 0) {
    const int error = errno;
    removePendingLink(folder);
    reportRefused("could not make link ", shown, error);
  }
}
}  // namespace

void addExecutablePermission(const fs::path& appFolder, const std::string& relative) {
  const auto shown = appFolder / relative;
  // A look by path first: nearly every start finds the bits set, and opens and changes nothing.
  struct stat status;
  if (::lstat(shown.c_str(), &status) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) {
      reportMissing(shown);
    } else {
      reportRefused("could not set exe permission for ", shown, errno);
    }
    return;
  }
  if (S_ISLNK(status.st_mode)) {
    // Left alone, wherever it leads; one that leads nowhere is missing, as it always was.
    if (::stat(shown.c_str(), &status) != 0 && errno == ENOENT) reportMissing(shown);
    return;
  }
  if (!S_ISREG(status.st_mode) || (status.st_mode | kExecuteBits) == status.st_mode) return;

  // The change is made beneath the application folder, to the file as it is looked at there.
  const auto [folderPath, name] = splitLast(relative);
  const auto reached = walk(openFolder(appFolder), folderPath, {true, appFolder, true});
  if (reached.reach == Reach::outside) return;
  if (reached.reach == Reach::missing) {
    reportMissing(shown);
    return;
  }
  int error = reached.error;
  if (reached.reach == Reach::folder) {
    const int folder = reached.folder.handle.fd;
    // Linux's fchmodat call takes no flags and follows a link: the look just before keeps it out.
    if (::fstatat(folder, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
        (!S_ISREG(status.st_mode) ||
         ::fchmodat(folder, name.c_str(), (status.st_mode & 07777) | kExecuteBits, 0) == 0)) {
      return;
    }
    error = errno;
  }
  reportRefused("could not set exe permission for ", shown, error);
}

void fixElectronUpdate(const fs::path& appFolder) {
  const auto frameworks =
      getLobbyFilePath(appFolder).filename().string() + "/" + kFrameworksFolder + "/";
  const auto libraries = frameworks + "Electron Framework.framework/Versions/A/Libraries/";
  for (const char* library : kGraphicsLibraries) {
    addExecutablePermission(appFolder, libraries + library);
  }

  const auto name = getPokerAppName(appFolder);
  if (name.empty()) return;
  for (const char* kind : kHelperKinds) {
    const auto helper = name + kind;
    addExecutablePermission(appFolder, frameworks + helper + ".app/Contents/MacOS/" + helper);
  }

  repairFrameworkLink(appFolder, frameworks + "ReactiveObjC.framework");
}
