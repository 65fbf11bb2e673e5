#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <unordered_map>

#include <boost/filesystem/exception.hpp>

#include "locations/app_folder.h"
#include "locations/temporary_names.h"
#include "platform/platform.h"
#include "update/install_entry.h"
#include "update/journal.h"
#include "update/tree_copy.h"

namespace fs = boost::filesystem;

namespace {
// What stands in the installation where a folder of the update goes.
enum class Target { unknown, folder, missing, outside };

// A folder of the update being walked, and its places in the installation and the rollback
// folder, each opened once, when first needed, and kept while entries come from it.
struct Level {
  Listing source;
  std::string path;  // below the update folder, "" for the update folder itself
  Target target;
  std::string real;  // where the installation's folder is or will be, with no link on the way
  Folder installed;
  Descriptor kept;
};

// One tree copy: what it walks, where it writes, what it must not write to, whether it may give
// the update's files second names, and what it has put in place: the journal's record of the
// first change at each place.
struct Run {
  const fs::path& updateFolder;
  const fs::path& appFolder;
  const Folder& root;
  const RollbackFolder& rollback;
  Journal& journal;
  std::uint64_t names;
  struct stat lock;
  bool shareable;
  std::unordered_map<std::string, std::size_t> written;
  std::vector<Level> levels;
};

[[noreturn]] void throwCopyError(const fs::path& entry, const fs::path& target,
                                 const fs::filesystem_error& error) {
  std::ostringstream message;
  message << "error copying file " << entry.string() << " to " << target.string()
          << " error:" << error.what() << "\n";
  throw std::runtime_error(message.str());
}

// The name `name` takes in the application folder.
std::string asarRenamed(const std::string& name) {
  // By hand rather than through path::extension(), whose rule for names that begin with a dot
  // differs between Boost releases.
  static const std::string kDelivered = ".asar_tmp";
  const auto dot = name.rfind('.');
  if (dot == std::string::npos || name.compare(dot, std::string::npos, kDelivered) != 0) {
    return name;
  }
  return name.substr(0, dot) + ".asar";
}

const Folder& installedFolder(const Run& run, std::size_t level) {
  return level == 0 ? run.root : run.levels[level].installed;
}

// Finds, and with `make` makes, the installation's folder for the update's folder at `level`,
// each missing folder recorded before it is made. A link on the way leads on while it stays in
// the application folder.
Target reachTarget(Run& run, std::size_t level, bool make) {
  auto& here = run.levels[level];
  if (here.target != Target::unknown && (here.target != Target::missing || !make)) {
    return here.target;
  }
  const auto above = reachTarget(run, level - 1, make);
  if (above != Target::folder) {
    here.real = joined(run.levels[level - 1].real, splitLast(here.path).second);
    return here.target = above;
  }
  const auto& parent = installedFolder(run, level - 1);
  const auto name = splitLast(here.path).second;
  const auto shown = run.appFolder / here.path;
  auto reached = openChild(parent, name);
  if (reached.reach == Reach::link) {
    reached = walk(run.root, joined(parent.path, name), {true, run.appFolder});
    // Never made through a link: the link's own text decides where it leads.
    if (reached.reach == Reach::missing) reached = {Reach::blocked, {}, ENOENT};
  }
  if (reached.reach == Reach::missing && make) {
    record(run.journal, {Change::folderMade, joined(parent.path, name), {}, {}});
    if (::mkdirat(parent.handle.fd, name.c_str(), 0777) != 0 && errno != EEXIST) {
      throwSystemError("cannot create folder", shown);
    }
    reached = openChild(parent, name);
  }
  switch (reached.reach) {
    case Reach::folder:
      here.installed = std::move(reached.folder);
      here.real = here.installed.path;
      return here.target = Target::folder;
    case Reach::missing:
      here.real = joined(parent.path, name);
      return here.target = Target::missing;
    case Reach::outside:
      return here.target = Target::outside;
    default:
      throwSystemError("cannot open folder", shown, reached.error ? reached.error : ELOOP);
  }
}

// The rollback folder's copy of the update's folder at `level`, made when first needed.
int keptFolder(Run& run, std::size_t level) {
  if (level == 0) return run.rollback.folder.handle.fd;
  auto& here = run.levels[level];
  if (here.kept.fd >= 0) return here.kept.fd;
  const int parent = keptFolder(run, level - 1);
  const auto name = splitLast(here.path).second;
  if (::mkdirat(parent, name.c_str(), 0700) != 0 && errno != EEXIST) {
    throwSystemError("cannot create folder", run.rollback.shown / here.path);
  }
  here.kept = openFolderIn(parent, name);
  if (here.kept.fd < 0) throwSystemError("cannot open folder", run.rollback.shown / here.path);
  return here.kept.fd;
}

// Why the entry, at `level`, is no place for an update's entry; empty when it is one. Learns
// what stands at the target on the way.
std::string unfitBecause(Run& run, std::size_t level, Entry& entry) {
  // A temporary name is a run's own anywhere.
  if (isTemporaryName(entry.target)) return "belongs to the launcher";
  const auto target = reachTarget(run, level, false);
  if (target == Target::outside) return "lies outside the application folder";
  entry.path = joined(run.levels[level].real, entry.target);
  // An update that replaced the lock (under any spelling that names it) would let a second
  // launcher in; one that brought update folders would be applied again, older, at the next
  // start; the journal and a rollback folder are a run's own.
  if (isLauncherOwnName(entry.path.substr(0, entry.path.find('/')))) {
    return "belongs to the launcher";
  }
  if (target == Target::folder) {
    entry.to = installedFolder(run, level).handle.fd;
    struct stat there;
    if (::fstatat(entry.to, entry.target.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0) {
      entry.there = there;
    } else if (errno != ENOENT) {
      throwSystemError("status", entry.shownTarget);
    }
  }
  const auto& lock = run.lock;
  if (entry.there && entry.there->st_dev == lock.st_dev && entry.there->st_ino == lock.st_ino) {
    return "belongs to the launcher";
  }
  return {};
}

Change keptKind(const struct stat& there) {
  return S_ISDIR(there.st_mode)   ? Change::keptFolder
         : S_ISLNK(there.st_mode) ? Change::keptLink
                                  : Change::keptFile;
}

// Gives the old version a second name in the rollback folder, so the target is never missing.
void keepOldVersion(const Entry& entry, int kept, const fs::path& shownKept) {
  if (::linkat(entry.to, entry.target.c_str(), kept, entry.target.c_str(), 0) == 0) return;
  // A file system without second names: moved aside, and the journal covers the moment.
  if (errno == EEXIST ||
      ::renameat(entry.to, entry.target.c_str(), kept, entry.target.c_str()) != 0) {
    throwSystemError("cannot keep the old version", entry.shownTarget, shownKept);
  }
}

// Replaces the folder at the target without a moment where nothing is there: the new version is
// made at its place in the rollback folder and the two exchanged. Where the file system cannot
// exchange, the folder moves aside first; the journal covers that moment.
void replaceFolder(const Entry& entry, int kept, const fs::path& shownKept,
                   const std::string& temporary, dev_t device) {
  // Whatever the folder holds leaves with the rollback folder: never another file system's.
  if (holdsOtherFileSystem(entry.to, entry.target, device)) {
    throwSystemError("cannot replace a folder that holds another file system", entry.shownTarget,
                     EXDEV);
  }
  makeEntry(entry, kept, entry.target);
  if (exchangeEntries(kept, entry.target, entry.to, entry.target)) return;
  if (!exchangeRefused(errno)) throwSystemError("cannot exchange", shownKept, entry.shownTarget);
  if (::renameat(kept, entry.target.c_str(), entry.to, temporary.c_str()) != 0 ||
      ::renameat(entry.to, entry.target.c_str(), kept, entry.target.c_str()) != 0 ||
      ::renameat(entry.to, temporary.c_str(), entry.to, entry.target.c_str()) != 0) {
    throwSystemError("cannot move aside", entry.shownTarget, shownKept);
  }
}

// The bits a new file takes: a replaced file's, read through a link; a dangling link has none
// to give, nor has a link of the update.
std::optional<mode_t> modeFor(const Entry& entry) {
  if (!entry.there || S_ISLNK(entry.status.st_mode)) return std::nullopt;
  if (!S_ISLNK(entry.there->st_mode)) return entry.there->st_mode & 07777;
  struct stat linked;
  if (::fstatat(entry.to, entry.target.c_str(), &linked, 0) != 0) return std::nullopt;
  return linked.st_mode & 07777;
}

// The record of the change that puts the entry in place. Where this run has put an entry there
// already (the ".asar" rename, links leading to one place), the old version is the one kept by
// that first change, so that an undo done twice still puts it back.
JournalRecord changeFor(Run& run, std::size_t level, const Entry& entry, std::string temporary) {
  const auto first = run.written.find(entry.path);
  if (first != run.written.end()) {
    const auto& earlier = run.journal.records[first->second];
    return {earlier.change, entry.path, earlier.kept, std::move(temporary)};
  }
  if (!entry.there) return {Change::added, entry.path, {}, std::move(temporary)};
  return {keptKind(*entry.there), entry.path, joined(run.levels[level].path, entry.target),
          std::move(temporary)};
}

// Puts the entry in place, the old version kept in the rollback folder for an undo.
void place(Run& run, std::size_t level, Entry& entry, const fs::path& shownKept) {
  entry.mode = modeFor(entry);
  const auto temporary = nextTemporaryName(run.names);
  auto change = changeFor(run, level, entry, joined(run.levels[level].real, temporary));
  const bool keeps = entry.there && run.written.count(entry.path) == 0;
  record(run.journal, std::move(change));
  run.written.emplace(entry.path, run.journal.records.size() - 1);
  if (keeps && S_ISDIR(entry.there->st_mode)) {
    return replaceFolder(entry, keptFolder(run, level), shownKept, temporary, run.root.device);
  }
  if (keeps) keepOldVersion(entry, keptFolder(run, level), shownKept);
  installEntry(entry, temporary);
}

void copyEntry(Run& run, const std::string& name) {
  const auto level = run.levels.size() - 1;
  const auto& folder = run.levels[level].path;
  const auto target = asarRenamed(name);
  Entry entry{::dirfd(run.levels[level].source.get()),
              name,
              {},
              -1,
              target,
              {},
              std::nullopt,
              std::nullopt,
              run.shareable,
              joined(run.updateFolder.native(), joined(folder, name)),
              joined(run.appFolder.native(), joined(folder, target))};
  std::string unfit;
  try {
    unfit = unfitBecause(run, level, entry);
  } catch (const fs::filesystem_error& error) {
    throwCopyError(entry.shownEntry, entry.shownTarget, error);
  }
  if (!unfit.empty()) {
    std::cout << "skipping " << entry.shownEntry.string() << ": " << entry.shownTarget.string()
              << " " << unfit << std::endl;
    return;
  }
  const fs::path shownKept = joined(run.rollback.shown.native(), joined(folder, target));
  std::cout << "copying " << entry.shownEntry.string() << " to " << entry.shownTarget.string()
            << " using as rollback " << shownKept.string() << std::endl;
  reachTarget(run, level, true);
  entry.to = installedFolder(run, level).handle.fd;
  if (::fstatat(entry.from, name.c_str(), &entry.status, AT_SYMLINK_NOFOLLOW) != 0) {
    throwSystemError("status", entry.shownEntry);
  }
  try {
    place(run, level, entry, shownKept);
  } catch (const fs::filesystem_error& error) {
    throwCopyError(entry.shownEntry, entry.shownTarget, error);
  }
}

// Enters the update's folder `name` in the folder being walked.
void enter(Run& run, const std::string& name) {
  const auto& parent = run.levels.back();
  const auto path = joined(parent.path, name);
  auto listing = listFolder(openFolderIn(::dirfd(parent.source.get()), name));
  if (!listing) throwSystemError("cannot open folder", run.updateFolder / path);
  run.levels.push_back({std::move(listing), path, Target::unknown, {}, {}, {}});
}
}  // namespace

void copyFolder(const fs::path& sourceRoot, const fs::path& targetRoot, const Folder& root,
                const RollbackFolder& rollback, Journal& journal) {
  auto listing =
      listFolder(Descriptor(::open(sourceRoot.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)));
  if (!listing && (errno == ENOENT || errno == ENOTDIR)) throw std::runtime_error("Invalid folder");
  if (!listing) throwSystemError("cannot open folder", sourceRoot);
  Run run{sourceRoot, targetRoot, root, rollback, journal, temporaryNameSeed(), {}, false, {}, {}};
  if (::fstatat(root.handle.fd, kLockFileName.c_str(), &run.lock, AT_SYMLINK_NOFOLLOW) != 0) {
    run.lock = {};
  }
  // Second names only of files in a folder of the installation's own: an update folder that
  // is a link may lead to a staging area that is written to later.
  struct stat status;
  run.shareable = ::lstat(sourceRoot.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
  run.levels.push_back({std::move(listing), "", Target::folder, "", {}, {}});

  // Depth first, in the order the system lists each folder: a folder's entries come right
  // after the point where the walk enters it.
  while (!run.levels.empty()) {
    auto* source = run.levels.back().source.get();
    errno = 0;
    const auto* item = ::readdir(source);
    if (!item) {
      if (errno != 0) throwSystemError("cannot list folder", sourceRoot / run.levels.back().path);
      run.levels.pop_back();
      continue;
    }
    const std::string name = item->d_name;
    if (name == "." || name == "..") continue;
    if (isFolderEntry(::dirfd(source), *item)) {
      enter(run, name);
    } else {
      copyEntry(run, name);
    }
  }
}

fs::path withAsarRename(const fs::path& target) {
  return target.parent_path() / asarRenamed(target.filename().string());
}
