#include <iostream>

#include <boost/filesystem/operations.hpp>

#include "locations/lobby_bundle.h"
#include "locations/temporary_names.h"
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

// Makes the framework's top-level link when it is missing or dangles; whatever else stands there
// is left alone.
void repairFrameworkLink(const fs::path& framework) {
  const auto link = framework / "ReactiveObjC";
  const auto standing = fs::symlink_status(link);
  boost::system::error_code unresolved;
  const bool dangling = fs::is_symlink(standing) && !fs::exists(fs::status(link, unresolved));
  if (fs::exists(standing) && !dangling) return;

  // Made aside and renamed over the dangling one, so the name never stands empty.
  auto names = temporaryNameSeed();
  const auto temporary = temporaryIn(framework, names);
  fs::create_symlink(kFrameworkLinkText, temporary);
  try {
    fs::rename(temporary, link);
  } catch (...) {
    boost::system::error_code ignored;
    fs::remove(temporary, ignored);
    throw;
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

  repairFrameworkLink(frameworks / "ReactiveObjC.framework");
}
