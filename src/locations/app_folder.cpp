#include <boost/filesystem/operations.hpp>

#include "locations/locations.h"
#include "platform/platform.h"

boost::filesystem::path getCurrentAppFolder() {
  static boost::filesystem::path currentAppFolder;
  if (!currentAppFolder.empty()) return currentAppFolder;

  const auto folder = getExecutablePath().parent_path();
  currentAppFolder = boost::filesystem::absolute(folder, boost::filesystem::current_path());
  return currentAppFolder;
}
