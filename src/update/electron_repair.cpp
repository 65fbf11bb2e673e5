#include <iostream>

#include <boost/filesystem/operations.hpp>

#include "locations/locations.h"
#include "update/update.h"

namespace fs = boost::filesystem;

namespace {
const char* const kGraphicsLibraries[] = {
    "libEGL.dylib",
    "libswiftshader_libEGL.dylib",
    "libGLESv2.dylib",
    "libswiftshader_libGLESv2.dylib",
};
const char* const kHelperKinds[] = {" Helper (Renderer)", " Helper (GPU)", " Helper (Plugin)"};
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

void fixElectronUpdate() {
  const auto bundle = getLobbyFilePath();
  const auto frameworks = bundle / "Contents/Frameworks";
  const auto libraries = frameworks / "Electron Framework.framework/Versions/A/Libraries";
  for (const char* library : kGraphicsLibraries) addExecutablePermission(libraries / library);

  const auto name = getPokerAppName();
  if (name.empty()) return;
  for (const char* kind : kHelperKinds) {
    const auto helper = name + kind;
    addExecutablePermission(frameworks / (helper + ".app/Contents/MacOS/" + helper));
  }

  const auto framework = frameworks / "ReactiveObjC.framework";
  const auto link = framework / "ReactiveObjC";
  if (!fs::exists(link)) fs::create_symlink(framework / "Versions/A/ReactiveObjC", link);
}
