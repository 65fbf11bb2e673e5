#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <iostream>
#include <sstream>
#include <stdexcept>

#include <boost/filesystem/operations.hpp>

#include "locations/locations.h"
#include "main/main.h"
#include "update/update.h"

namespace fs = boost::filesystem;

namespace {
// The last folders found or made on the way to an entry and to its rollback path: entries come
// folder by folder, so most need no test. Each tree copy starts afresh.
fs::path knownTargetParent, knownRollbackParent;

void createMissingParent(const fs::path& path, fs::path& known) {
  const auto parent = path.parent_path();
  if (parent.empty() || parent.native() == known.native()) return;
  if (!fs::exists(parent)) fs::create_directories(parent);
  known = parent;
}

// The first name of `target` below `root`.
std::string topLevelName(const fs::path& target, const fs::path& root) {
  const auto below = changePathBase(target, root, fs::path()).string();
  return below.substr(0, below.find('/'));
}

// Keeps the old version at `target` at `rollback` for a restore: a second name for a file or a
// link, so that `target` is never missing; a complete copy across file systems; a folder, or
// what the file system will not give a second name, is moved there.
void keepOldVersion(const fs::path& target, bool folder, const fs::path& rollback,
                    std::vector<fs::path>& movedAside) {
  int refused = 0;
  if (!folder) {
    if (::linkat(AT_FDCWD, target.c_str(), AT_FDCWD, rollback.c_str(), 0) == 0) {
      movedAside.push_back(rollback);
      return;
    }
    refused = errno;
  }
  const auto there = fs::symlink_status(rollback);
  if (fs::exists(there)) {
    // Two entries for one target (the ".asar" rename, or names that differ only in case where
    // the file system ignores case): the first kept the original, and `target` holds only
    // what the update brought. A folder made only on the way to other old versions is none.
    if (fs::is_directory(there) &&
        std::find(movedAside.begin(), movedAside.end(), rollback) == movedAside.end()) {
      throw fs::filesystem_error(
          "rollback path in use", target, rollback,
          boost::system::errc::make_error_code(boost::system::errc::file_exists));
    }
    return;
  }
  if (refused == EXDEV) {
    installEntry(target, rollback);
  } else {
    moveEntry(target, rollback);
  }
  movedAside.push_back(rollback);
}

// Whether `target`, whose status is `there`, is already the update's own `entry` under a second
// name: a start killed after putting it in place.
bool alreadyInstalled(const fs::path& entry, const struct stat& there) {
  struct stat status;
  return S_ISREG(there.st_mode) && there.st_nlink > 1 && ::lstat(entry.c_str(), &status) == 0 &&
         status.st_dev == there.st_dev && status.st_ino == there.st_ino;
}

[[noreturn]] void throwStatusError(const fs::path& target) {
  throw fs::filesystem_error("status", target,
                             boost::system::error_code(errno, boost::system::system_category()));
}
}  // namespace

void copyFolder(const fs::path& sourceRoot, const fs::path& targetRoot,
                const fs::path& rollbackRoot, std::vector<fs::path>& movedAside) {
  const auto entries = getDirContent(sourceRoot, true, false);
  knownTargetParent.clear();
  knownRollbackParent.clear();
  for (const auto& entry : *entries) {
    const auto target = withAsarRename(changePathBase(entry, sourceRoot, targetRoot));
    // An update that replaced the lock would let a second launcher in; one that brought update
    // folders would be applied again, older, at the next start; a temporary name goes at the
    // next start.
    if (isLauncherOwnName(topLevelName(target, targetRoot)) ||
        isTemporaryName(target.filename().string())) {
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
  createMissingParent(target, knownTargetParent);
  if (!rollback.empty()) createMissingParent(rollback, knownRollbackParent);
  if (fs::is_symlink(fs::symlink_status(entry))) {
    copySymlink(entry, target, rollback, movedAside);
  } else {
    copyFile(entry, target, rollback, movedAside);
  }
}

void copySymlink(const fs::path& entry, const fs::path& target, const fs::path& rollback,
                 std::vector<fs::path>& movedAside) {
  try {
    const auto there = fs::symlink_status(target);
    if (fs::exists(there)) keepOldVersion(target, fs::is_directory(there), rollback, movedAside);
    installEntry(entry, target);
  } catch (const fs::filesystem_error& error) {
    throwCopyError(entry, target, error);
  }
}

void copyFile(const fs::path& entry, const fs::path& target, const fs::path& rollback,
              std::vector<fs::path>& movedAside) {
  try {
    struct stat there;
    if (::lstat(target.c_str(), &there) != 0) {
      if (errno != ENOENT && errno != ENOTDIR) throwStatusError(target);
      installEntry(entry, target);
      return;
    }
    if (alreadyInstalled(entry, there)) return;
    // A replacing file keeps the bits of the one it replaces, read through a link; a dangling
    // link has none to give.
    std::optional<fs::perms> old;
    struct stat linked;
    if (!S_ISLNK(there.st_mode)) {
      old = static_cast<fs::perms>(there.st_mode & 07777);
    } else if (::stat(target.c_str(), &linked) == 0) {
      old = static_cast<fs::perms>(linked.st_mode & 07777);
    }
    keepOldVersion(target, S_ISDIR(there.st_mode), rollback, movedAside);
    installEntry(entry, target, old);
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
