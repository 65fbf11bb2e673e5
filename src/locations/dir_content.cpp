#include <stdexcept>

#include <boost/filesystem/directory.hpp>
#include <boost/filesystem/operations.hpp>

#include "locations/dir_content.h"

namespace fs = boost::filesystem;

namespace {
void walk(const fs::path& folder, bool files, bool folders,
          const std::function<bool(const fs::path&)>& visit) {
  if (!fs::is_directory(folder)) throw std::runtime_error("Invalid folder");

  for (fs::recursive_directory_iterator it(folder), end; it != end; ++it) {
    // The walk has the entry's own status already; only a link needs a second look.
    const auto own = it->symlink_status();
    const bool isFolder = fs::is_directory(fs::is_symlink(own) ? it->status() : own);
    if ((isFolder ? folders : files) && !visit(it->path())) return;
  }
}
}  // namespace

std::shared_ptr<std::vector<fs::path>> getDirContent(fs::path folder, bool files, bool folders) {
  auto content = std::make_shared<std::vector<fs::path>>();
  walk(folder, files, folders, [&content](const fs::path& entry) {
    content->push_back(entry);
    return true;
  });
  return content;
}

void visitFolders(const fs::path& folder, const std::function<bool(const fs::path&)>& visit) {
  walk(folder, false, true, visit);
}
