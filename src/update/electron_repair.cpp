#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <iostream>

#include <boost/filesystem/operations.hpp>

#include "locations/folder_handles.h"
#include "locations/lobby_bundle.h"
#include "platform/platform.h"
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

// Relative: it must still resolve after the application folder moves, and the strict signature
// check refuses absolute links that lead outside the system's folders.
const char kFrameworkLinkText[] = "Versions/A/ReactiveObjC";
const char kFrameworkLink[] = "ReactiveObjC";
// Where a new link is made before it replaces a dangling one. A repair cut short between the two
// leaves it, and the next repair removes it: only a link of the very text it makes.
const char kPendingLink[] = ".launcher-framework-link";

void removePendingLink(int framework) {
  std::string text;
  if (readLink(framework, kPendingLink, text) && text == kFrameworkLinkText) {
    ::unlinkat(framework, kPendingLink, 0);
  }
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
  struct stat standing, linked;
  const bool present = ::fstatat(folder, kFrameworkLink, &standing, AT_SYMLINK_NOFOLLOW) == 0;
  if (present &&
      !(S_ISLNK(standing.st_mode) && ::fstatat(folder, kFrameworkLink, &linked, 0) != 0)) {
    return;
  }
  const auto shown = path / kFrameworkLink;
  if (!present) {
    if (::symlinkat(kFrameworkLinkText, folder, kFrameworkLink) != 0) {
      throwSystemError("cannot create link", shown);
    }
    return;
  }
  // Made aside and renamed over the dangling one, so the name never stands empty.
  if (::symlinkat(kFrameworkLinkText, folder, kPendingLink) != 0 ||
      ::renameat(folder, kPendingLink, folder, kFrameworkLink) != 0) {
    const int error = errno;
    removePendingLink(folder);
    throwSystemError("cannot replace link", shown, error);
  }
}
}  // namespace

void addExecutablePermission(fs::path file) {
  if (!fs::exists(file)) {
    std::cout << "could not set exe permission for non-existent file " << file.string()
              << std::endl;
    return;
  }
  const auto bits = fs::status(file).permissions();
  fs::permissions(file, bits | fs::owner_all | fs::group_exe | fs::others_exe);
}

void fixElectronUpdate(const fs::path& appFolder) {
  const auto bundle = getLobbyFilePath(appFolder);
  const auto frameworks = bundle / kFrameworksFolder;
  const auto libraries = frameworks / "Electron Framework.framework/Versions/A/Libraries";
  for (const char* library : kGraphicsLibraries) addExecutablePermission(libraries / library);

  const auto name = getPokerAppName(appFolder);
  if (name.empty()) return;
  for (const char* kind : kHelperKinds) {
    const auto helper = name + kind;
    addExecutablePermission(frameworks / (helper + ".app/Contents/MacOS/" + helper));
  }

  repairFrameworkLink(
      appFolder, bundle.filename().string() + "/" + kFrameworksFolder + "/ReactiveObjC.framework");
}
