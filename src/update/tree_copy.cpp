#include <iostream>
#include <sstream>
#include <stdexcept>

#include <boost/filesystem/operations.hpp>

#include "locations/locations.h"
#include "update/update.h"

namespace fs = boost::filesystem;

namespace {
void createMissingParent(const fs::path& path) {
  const auto parent = path.parent_path();
  if (!parent.empty() && !fs::exists(parent)) fs::create_directories(parent);
}

// Whatever stands at `target`, a dangling or any other symbolic link included.
bool occupied(const fs::path& target) { return fs::exists(fs::symlink_status(target)); }

fs::filesystem_error notARegularFile(const fs::path& entry, const fs::path& target) {
  return fs::filesystem_error(
      "not a regular file", entry, target,
      boost::system::errc::make_error_code(boost::system::errc::not_supported));
}
}  // namespace

void copyFolder(const fs::path& sourceRoot, const fs::path& targetRoot,
                const fs::path& rollbackRoot) {
  const auto entries = getDirContent(sourceRoot, true, false);
  for (const auto& entry : *entries) {
    const auto target = withAsarRename(changePathBase(entry, sourceRoot, targetRoot));
    copyFileOrSymlink(entry, target, changePathBase(target, targetRoot, rollbackRoot));
  }
}

void copyFileOrSymlink(const fs::path& entry, const fs::path& target, const fs::path& rollback) {
  std::cout << "copying " << entry.string() << " to " << target.string() << " using as rollback "
            << rollback.string() << std::endl;
  createMissingParent(target);
  if (!rollback.empty()) createMissingParent(rollback);
  const auto kind = fs::symlink_status(entry);
  if (fs::is_symlink(kind)) {
    copySymlink(entry, target, rollback);
  } else if (fs::exists(kind) && !fs::is_regular_file(kind)) {
    // Opening a named pipe would wait for a writer for ever, a device would be read without end.
    throwCopyError(entry, target, notARegularFile(entry, target));
  } else {
    copyFile(entry, target, rollback);
  }
}

void copySymlink(const fs::path& entry, const fs::path& target, const fs::path& rollback) {
  try {
    if (occupied(target)) moveEntry(target, rollback);
    fs::copy_symlink(entry, target);
  } catch (const fs::filesystem_error& error) {
    throwCopyError(entry, target, error);
  }
}

void copyFile(const fs::path& entry, const fs::path& target, const fs::path& rollback) {
  try {
    const auto there = fs::symlink_status(target);
    if (!fs::exists(there)) {
      copyRegularFile(entry, target);
      return;
    }
    // A replacing file keeps the bits of the one it replaces, read through a link; a dangling
    // link has none to give.
    std::optional<fs::perms> old;
    if (!fs::is_symlink(there)) {
      old = there.permissions();
    } else {
      boost::system::error_code unreadable;
      const auto linked = fs::status(target, unreadable);
      if (!unreadable && fs::exists(linked)) old = linked.permissions();
    }
    moveEntry(target, rollback);
    copyRegularFile(entry, target, old);
  } catch (const fs::filesystem_error& error) {
    throwCopyError(entry, target, error);
  }
}

void throwCopyError(const fs::path& entry, const fs::path& target,
                    const fs::filesystem_error& error) {
  std::ostringstream message;
  message << "error copying file " << entry.string() << " to " << target.string()
          << " error:" << error.what() << "\n";
  throw std::runtime_error(message.str());
}
