#include <algorithm>
#include <iostream>
#include <sstream>
#include <stdexcept>

#include <boost/filesystem/operations.hpp>

#include "locations/locations.h"
#include "main/main.h"
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

// The first name of `target` below `root`.
std::string topLevelName(const fs::path& target, const fs::path& root) {
  const auto below = changePathBase(target, root, fs::path()).string();
  return below.substr(0, below.find('/'));
}

// Moves the old version at `target` to `rollback`. Two entries for one target (the ".asar"
// rename, or names that differ only in case where the file system ignores case): the first has
// moved the original there, which is kept, and `target` holds only what the update brought.
void moveAside(const fs::path& target, const fs::path& rollback,
               std::vector<fs::path>& movedAside) {
  const auto there = fs::symlink_status(rollback);
  if (!fs::exists(there)) {
    moveEntry(target, rollback);
    movedAside.push_back(rollback);
    return;
  }
  // A folder made only on the way to other old versions is none itself: nothing may replace it.
  if (fs::is_directory(there) &&
      std::find(movedAside.begin(), movedAside.end(), rollback) == movedAside.end()) {
    throw fs::filesystem_error(
        "rollback path in use", target, rollback,
        boost::system::errc::make_error_code(boost::system::errc::file_exists));
  }
  fs::remove(target);
}
}  // namespace

void copyFolder(const fs::path& sourceRoot, const fs::path& targetRoot,
                const fs::path& rollbackRoot, std::vector<fs::path>& movedAside) {
  const auto entries = getDirContent(sourceRoot, true, false);
  for (const auto& entry : *entries) {
    const auto target = withAsarRename(changePathBase(entry, sourceRoot, targetRoot));
    // An update that replaced the lock would let a second launcher in; one that brought update
    // folders would be applied again, older, at the next start.
    if (isLauncherOwnName(topLevelName(target, targetRoot))) {
      std::cout << "skipping " << entry.string() << ": " << target.string()
                << " belongs to the launcher" << std::endl;
      continue;
    }
    copyFileOrSymlink(entry, target, changePathBase(target, targetRoot, rollbackRoot), movedAside);
  }
}

void copyFileOrSymlink(const fs::path& entry, const fs::path& target, const fs::path& rollback,
                       std::vector<fs::path>& movedAside) {
  std::cout << "copying " << entry.string() << " to " << target.string() << " using as rollback "
            << rollback.string() << std::endl;
  createMissingParent(target);
  if (!rollback.empty()) createMissingParent(rollback);
  const auto kind = fs::symlink_status(entry);
  if (fs::is_symlink(kind)) {
    copySymlink(entry, target, rollback, movedAside);
  } else if (fs::exists(kind) && !fs::is_regular_file(kind)) {
    // Opening a named pipe would wait for a writer for ever, a device would be read without end.
    throwCopyError(entry, target, notARegularFile(entry, target));
  } else {
    copyFile(entry, target, rollback, movedAside);
  }
}

void copySymlink(const fs::path& entry, const fs::path& target, const fs::path& rollback,
                 std::vector<fs::path>& movedAside) {
  try {
    if (occupied(target)) moveAside(target, rollback, movedAside);
    fs::copy_symlink(entry, target);
  } catch (const fs::filesystem_error& error) {
    throwCopyError(entry, target, error);
  }
}

void copyFile(const fs::path& entry, const fs::path& target, const fs::path& rollback,
              std::vector<fs::path>& movedAside) {
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
    moveAside(target, rollback, movedAside);
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
