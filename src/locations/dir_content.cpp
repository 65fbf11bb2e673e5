#include <stdexcept>

#include <boost/filesystem/operations.hpp>

#include "locations/locations.h"

namespace fs = boost::filesystem;

std::shared_ptr<std::vector<fs::path>> getDirContent(fs::path folder, bool files, bool folders) {
  auto content = std::make_shared<std::vector<fs::path>>();
  if (!fs::is_directory(folder)) throw std::runtime_error("Invalid folder");

  for (fs::recursive_directory_iterator it(folder), end; it != end; ++it) {
    const bool isFolder = fs::is_directory(it->status());
    if (isFolder ? folders : files) content->push_back(it->path());
  }
  return content;
}
