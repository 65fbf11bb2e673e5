#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <iostream>
#include <sstream>
#include <stdexcept>

#include <boost/filesystem/exception.hpp>
#include <boost/filesystem/operations.hpp>

#include "locations/app_folder.h"
#include "locations/dir_content.h"
#include "locations/temporary_names.h"
#include "platform/platform.h"
#include "update/change_path_base.h"
#include "update/install_entry.h"
#include "update/journal.h"
#include "update/tree_copy.h"

namespace fs = boost::filesystem;

namespace {
// One tree copy: its journal, its temporary names, what it must not write to or through, whether
// it may give the update's files second names, and the last folders it found, made or checked
// (entries come folder by folder, so most need no look).
struct Run {
  Journal& journal;
  std::uint64_t names;
  fs::path realRoot;
  struct stat lock;
  bool shareable;
  fs::path knownTarget;
  fs::path knownRollback;
  fs::path checkedFolder;
  bool checkedInside;
};

[[noreturn]] void throwCopyError(const fs::path& entry, const fs::path& target,
                                 const fs::filesystem_error& error) {
  std::ostringstream message;
  message << "error copying file " << entry.string() << " to " << target.string()
          << " error:" << error.what() << "\n";
  throw std::runtime_error(message.str());
}

// The first name of `target` below `root`.
std::string topLevelName(const fs::path& target, const fs::path& root) {
  const auto below = changePathBase(target, root, fs::path()).string();
  return below.substr(0, below.find('/'));
}

// Makes the missing folders on the way to `folder`, each recorded before it is made. A link to
// a folder leads on, as a folder does.
void makeFolders(Journal& journal, const fs::path& folder) {
  if (folder.empty() || fs::exists(folder)) return;
  makeFolders(journal, folder.parent_path());
  record(journal, {Change::folderMade, folder, {}, {}});
  if (::mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) {
    throwSystemError("cannot create folder", folder);
  }
}

Change keptKind(const struct stat& there) {
  return S_ISDIR(there.st_mode)   ? Change::keptFolder
         : S_ISLNK(there.st_mode) ? Change::keptLink
                                  : Change::keptFile;
}

// Whether an entry before the last one recorded kept the original at `rollback` (two entries
// for one target: the ".asar" rename, or names that differ only in case where case is ignored).
// The target then holds only what the update brought, and the original stays where it is.
bool keptBefore(const Journal& journal, const fs::path& rollback) {
  return std::any_of(journal.records.begin(), journal.records.end() - 1,
                     [&rollback](const JournalRecord& record) { return record.kept == rollback; });
}

[[noreturn]] void throwInUse(const fs::path& target, const fs::path& rollback) {
  throw fs::filesystem_error(
      "rollback path in use", target, rollback,
      boost::system::errc::make_error_code(boost::system::errc::file_exists));
}

// Replaces the folder at `target` without a moment where nothing is there: the new version is
// made at its rollback path and the two exchanged. Where the file system cannot exchange, the
// folder moves aside first; the journal covers that moment.
void replaceFolder(const fs::path& entry, const struct stat& own, const fs::path& target,
                   const fs::path& rollback, const fs::path& temporary,
                   std::optional<fs::perms> mode, bool shareable) {
  makeEntry(entry, own, rollback, mode, shareable);
  if (exchangeEntries(rollback, target)) return;
  if (!exchangeRefused(errno)) throwSystemError("cannot exchange", rollback, target);
  if (::rename(rollback.c_str(), temporary.c_str()) != 0 ||
      ::rename(target.c_str(), rollback.c_str()) != 0 ||
      ::rename(temporary.c_str(), target.c_str()) != 0) {
    throwSystemError("cannot move aside", target, rollback);
  }
}

// Puts `entry` at `target`, where `there` describes what stands (nothing when null). The old
// version stays reachable at `rollback` for an undo: a second name of a file or link, so the
// target is never missing, or the folder itself.
void place(Run& run, const fs::path& entry, const struct stat& own, const fs::path& target,
           const fs::path& rollback, const struct stat* there, std::optional<fs::perms> mode) {
  const auto temporary = temporaryIn(target.parent_path(), run.names);
  if (!there) {
    record(run.journal, {Change::added, target, {}, temporary});
    installEntry(entry, own, target, temporary, mode, run.shareable);
    return;
  }
  record(run.journal, {keptKind(*there), target, rollback, temporary});
  const auto parent = rollback.parent_path();
  if (parent.native() != run.knownRollback.native()) {
    fs::create_directories(parent);
    run.knownRollback = parent;
  }
  try {
    if (S_ISDIR(there->st_mode)) {
      return replaceFolder(entry, own, target, rollback, temporary, mode, run.shareable);
    }
    if (::linkat(AT_FDCWD, target.c_str(), AT_FDCWD, rollback.c_str(), 0) != 0) {
      // A file system without second names: moved aside, and the journal covers the moment.
      if (errno == EEXIST || ::rename(target.c_str(), rollback.c_str()) != 0) {
        throwSystemError("cannot keep the old version", target, rollback);
      }
    }
  } catch (const fs::filesystem_error& error) {
    if (error.code() != boost::system::errc::file_exists) throw;
    if (!keptBefore(run.journal, rollback)) throwInUse(target, rollback);
  }
  installEntry(entry, own, target, temporary, mode, run.shareable);
}

// What stands at `target`, not following a link; false when nothing does.
bool statusOf(const fs::path& target, struct stat& there) {
  if (::lstat(target.c_str(), &there) == 0) return true;
  if (errno != ENOENT && errno != ENOTDIR) throwSystemError("status", target);
  return false;
}

// Whether what is written in `folder` lands in the application folder, whatever links lead there.
bool leadsInside(Run& run, const fs::path& folder) {
  if (folder.native() != run.checkedFolder.native()) {
    const auto real = fs::weakly_canonical(folder).native();
    const auto& root = run.realRoot.native();
    run.checkedInside = real.compare(0, root.size(), root) == 0 &&
                        (real.size() == root.size() || real[root.size()] == '/');
    run.checkedFolder = folder;
  }
  return run.checkedInside;
}

// Why `target`, where `there` stands (nothing when null), is no place for an update's entry;
// empty when it is one.
std::string unfitBecause(Run& run, const fs::path& target, const fs::path& root,
                         const struct stat* there) {
  // An update that replaced the lock (under any spelling that names it) would let a second
  // launcher in; one that brought update folders would be applied again, older, at the next
  // start; the journal, a rollback folder and temporary names are a run's own.
  if (isLauncherOwnName(topLevelName(target, root)) ||
      isTemporaryName(target.filename().string()) ||
      (there && there->st_dev == run.lock.st_dev && there->st_ino == run.lock.st_ino)) {
    return "belongs to the launcher";
  }
  if (!leadsInside(run, target.parent_path())) return "lies outside the application folder";
  return {};
}

void copySymlink(Run& run, const fs::path& entry, const struct stat& own, const fs::path& target,
                 const fs::path& rollback, const struct stat* there) {
  place(run, entry, own, target, rollback, there, std::nullopt);
  // Paths through the new link lead where it points.
  run.checkedFolder.clear();
}

void copyFile(Run& run, const fs::path& entry, const struct stat& own, const fs::path& target,
              const fs::path& rollback, const struct stat* there) {
  // A replacing file keeps the bits of the one it replaces, read through a link; a dangling
  // link has none to give.
  std::optional<fs::perms> old;
  struct stat linked;
  if (there && !S_ISLNK(there->st_mode)) {
    old = static_cast<fs::perms>(there->st_mode & 07777);
  } else if (there && ::stat(target.c_str(), &linked) == 0) {
    old = static_cast<fs::perms>(linked.st_mode & 07777);
  }
  place(run, entry, own, target, rollback, there, old);
}

void copyFileOrSymlink(Run& run, const fs::path& entry, const fs::path& target,
                       const fs::path& rollback, const struct stat* there) {
  std::cout << "copying " << entry.string() << " to " << target.string() << " using as rollback "
            << rollback.string() << std::endl;
  const auto parent = target.parent_path();
  if (parent.native() != run.knownTarget.native()) {
    makeFolders(run.journal, parent);
    run.knownTarget = parent;
  }
  struct stat own;
  if (::lstat(entry.c_str(), &own) != 0) throwSystemError("status", entry);
  try {
    if (S_ISLNK(own.st_mode)) {
      copySymlink(run, entry, own, target, rollback, there);
    } else {
      copyFile(run, entry, own, target, rollback, there);
    }
  } catch (const fs::filesystem_error& error) {
    throwCopyError(entry, target, error);
  }
}
}  // namespace

void copyFolder(const fs::path& sourceRoot, const fs::path& targetRoot,
                const fs::path& rollbackRoot, Journal& journal) {
  const auto entries = getDirEntries(sourceRoot);
  Run run{journal, temporaryNameSeed(), fs::canonical(targetRoot), {}, false, {}, {}, {}, false};
  if (::lstat((targetRoot / kLockFileName).c_str(), &run.lock) != 0) run.lock = {};
  // Second names only of files in a folder of the installation's own: an update folder that
  // is a link may lead to a staging area that is written to later.
  struct stat root;
  run.shareable = ::lstat(sourceRoot.c_str(), &root) == 0 && S_ISDIR(root.st_mode);

  for (const auto& entry : *entries) {
    const auto target = withAsarRename(changePathBase(entry, sourceRoot, targetRoot));
    struct stat there;
    std::string unfit;
    bool present;
    try {
      present = statusOf(target, there);
      unfit = unfitBecause(run, target, targetRoot, present ? &there : nullptr);
    } catch (const fs::filesystem_error& error) {
      throwCopyError(entry, target, error);
    }
    if (!unfit.empty()) {
      std::cout << "skipping " << entry.string() << ": " << target.string() << " " << unfit
                << std::endl;
      continue;
    }
    copyFileOrSymlink(run, entry, target, changePathBase(target, targetRoot, rollbackRoot),
                      present ? &there : nullptr);
  }
}

fs::path withAsarRename(const fs::path& target) {
  // By hand rather than through path::extension(), whose rule for names that begin with a dot
  // differs between Boost releases.
  static const std::string kDelivered = ".asar_tmp";
  const auto name = target.filename().string();
  const auto dot = name.rfind('.');
  if (dot == std::string::npos || name.compare(dot, std::string::npos, kDelivered) != 0) {
    return target;
  }
  return target.parent_path() / (name.substr(0, dot) + ".asar");
}
