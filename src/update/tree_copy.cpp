#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <deque>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <unordered_map>
#include <unordered_set>

#include <boost/filesystem/exception.hpp>

#include "locations/app_folder.h"
#include "locations/temporary_names.h"
#include "platform/platform.h"
#include "update/install_entry.h"
#include "update/journal.h"
#include "update/tree_copy.h"

namespace fs = boost::filesystem;

namespace {
// What stands in the installation where a folder of the update goes: `made` is missing, and
// made by this run before its first entry is.
enum class Target { unknown, folder, missing, made, outside };

// A folder of the update, and its places in the installation and the rollback folder, each
// opened once, when first needed, and kept until the run's last change.
struct Level {
  Listing source;           // while the walk lists it
  Descriptor sourceFolder;  // once listed: where its entries are read from
  std::string path;         // below the update folder, "" for the update folder itself
  std::size_t parent;
  Target target;
  std::string real;  // where the installation's folder is or will be, with no link on the way
  Folder installed;
  Descriptor kept;
  std::optional<bool> folds;  // whether the installation's folder finds names in other spellings
};

// How an entry takes its place once every new version is complete: renamed over the target,
// exchanged with the folder there, or, where the old version has no second name, after moving
// that aside.
enum class Move { rename, exchange, aside };

// An entry of the update on its way: planned and recorded, then made complete out of sight,
// then moved into place. Only what the later phases need: it is held for every entry at once.
struct Placing {
  std::size_t level;
  std::string name;        // in the update's folder
  std::string target;      // in the installation's folder, as the volume stores it
  std::string respelling;  // the update's spelling of `target`, when the volume's differs
  struct stat status;      // the update's entry, not following a link
  std::optional<mode_t> mode;
  mode_t there;        // the type of what stands at the target; 0 for nothing
  std::size_t record;  // the journal's record of it, which names its temporary name
  bool keeps;          // the first change at its place: the old version is kept
  Move move;
};

// A folder of the installation that takes the update's spelling of its name.
struct Respelling {
  std::size_t level;  // of the folder that holds it
  std::string stored;
  std::string name;
};

// One tree copy: what it walks, where it writes, what it must not write to, whether it may give
// the update's files second names, and what it plans: each entry, the first planned change at
// each place, and the folders it makes.
struct Run {
  const fs::path& updateFolder;
  const fs::path& appFolder;
  const Folder& root;
  const RollbackFolder& rollback;
  Journal& journal;
  std::uint64_t names;
  std::vector<std::pair<dev_t, ino_t>> own;  // the lock, the journal, the update, rollback folders
  bool shareable;
  std::vector<Level> levels;
  std::vector<std::size_t> walking;  // the levels from the update folder down to the one listed
  std::deque<Placing> placings;      // each in place: no move of the many while they grow
  std::unordered_map<std::string, std::size_t> written;  // a place, and its first placing
  std::unordered_set<std::string> made;                  // the folders it makes
  std::unordered_map<ino_t, std::size_t> entries;        // what stands at a place, its placing
  std::vector<Respelling> respellings;
  std::pair<std::string, bool> lastTop;  // a first component of a place, and whether it is own
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

[[noreturn]] void cannotOpen(const Run& run, std::size_t level, int error) {
  throwSystemError("cannot open folder", run.appFolder / run.levels[level].path, error);
}

// Whether `name`, found in the installation's folder for the update's folder at `level`, is
// stored there in another spelling, `stored`. A volume that ignores case (the Mac's default)
// finds a name in any spelling; whether this one does is asked once per folder.
bool spelledOtherwise(Run& run, std::size_t level, const std::string& name, std::string& stored) {
  const int folder = installedFolder(run, level).handle.fd;
  auto& folds = run.levels[level].folds;
  if (!folds) {
    auto swapped = name;
    for (auto& c : swapped) {
      if (c >= 'a' && c <= 'z')
        c = static_cast<char>(c - 'a' + 'A');
      else if (c >= 'A' && c <= 'Z')
        c = static_cast<char>(c - 'A' + 'a');
    }
    struct stat status;
    // No letter to spell otherwise: only a name beyond ASCII may be stored in another form.
    if (swapped == name) {
      const bool ascii = std::all_of(name.begin(), name.end(),
                                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
      return !ascii && storedName(folder, name, stored) && stored != name;
    }
    folds =
        ::fstatat(folder, swapped.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 || errno != ENOENT;
  }
  return *folds && storedName(folder, name, stored) && stored != name;
}

// Plans to make the missing folder of the installation for the update's folder at `level`.
Target planMade(Run& run, std::size_t level) {
  auto& here = run.levels[level];
  record(run.journal, {Change::folderMade, here.real, {}, {}});
  run.made.insert(here.real);
  return here.target = Target::made;
}

// Finds the installation's folder for the update's folder at `level`; with `make`, plans the
// missing ones, each recorded. A link on the way leads on while it stays in the application
// folder; what this run puts at a place counts as being there already.
Target reachTarget(Run& run, std::size_t level, bool make) {
  if (run.levels[level].target != Target::unknown &&
      (run.levels[level].target != Target::missing || !make)) {
    return run.levels[level].target;
  }
  const auto parentLevel = run.levels[level].parent;
  const auto above = reachTarget(run, parentLevel, make);
  auto& here = run.levels[level];
  if (above == Target::outside) return here.target = above;
  here.real = joined(run.levels[parentLevel].real, splitLast(here.path).second);
  if (above != Target::folder) {
    return above == Target::missing || !make ? here.target = Target::missing : planMade(run, level);
  }
  const auto& parent = installedFolder(run, parentLevel);
  const auto name = splitLast(here.path).second;
  const Walk followInside{true, run.appFolder};
  Reached reached{Reach::missing, {}};
  bool linked = true;
  const auto planned = run.written.find(here.real);
  if (planned == run.written.end()) {
    reached = openChild(parent, name);
    linked = reached.reach == Reach::link;
    if (linked) reached = walk(run.root, here.real, followInside);
  } else if (const auto& link = run.placings[planned->second]; S_ISLNK(link.status.st_mode)) {
    std::string text;
    reached = readLink(run.levels[link.level].sourceFolder.fd >= 0
                           ? run.levels[link.level].sourceFolder.fd
                           : ::dirfd(run.levels[link.level].source.get()),
                       link.name, text)
                  ? walkLinkText(run.root, parent.path, text, followInside)
                  : Reached{Reach::blocked, {}, errno};
  } else {
    reached = {Reach::blocked, {}, ENOTDIR};
  }
  // Never made through a link: the link's own text decides where it leads.
  if (linked && reached.reach == Reach::missing) reached = {Reach::blocked, {}, ENOENT};
  std::string stored;
  if (reached.reach == Reach::folder && !linked && planned == run.written.end() &&
      spelledOtherwise(run, parentLevel, name, stored)) {
    record(run.journal, {Change::respelled, here.real, stored, {}});
    run.respellings.push_back({parentLevel, std::move(stored), name});
  }
  switch (reached.reach) {
    case Reach::folder:
      here.installed = std::move(reached.folder);
      here.real = here.installed.path;
      return here.target = Target::folder;
    case Reach::missing:
      return make ? planMade(run, level) : here.target = Target::missing;
    case Reach::outside:
      return here.target = Target::outside;
    default:
      cannotOpen(run, level, reached.error ? reached.error : ELOOP);
  }
}

// The installation's folder for the update's folder at `level`, made when it is one to make.
const Folder& madeFolder(Run& run, std::size_t level) {
  auto& here = run.levels[level];
  if (here.target != Target::made) return installedFolder(run, level);
  const auto& parent = madeFolder(run, here.parent);
  const auto name = splitLast(here.real).second;
  if (::mkdirat(parent.handle.fd, name.c_str(), 0777) != 0 && errno != EEXIST) {
    throwSystemError("cannot create folder", run.appFolder / here.real);
  }
  auto reached = openChild(parent, name);
  if (reached.reach != Reach::folder) cannotOpen(run, level, reached.error ? reached.error : ELOOP);
  here.installed = std::move(reached.folder);
  here.target = Target::folder;
  return here.installed;
}

// The rollback folder's copy of the update's folder at `level`, made when first needed.
int keptFolder(Run& run, std::size_t level) {
  if (level == 0) return run.rollback.folder.handle.fd;
  if (run.levels[level].kept.fd >= 0) return run.levels[level].kept.fd;
  const int parent = keptFolder(run, run.levels[level].parent);
  auto& here = run.levels[level];
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
  // Entries below the top share their first component with the entry before, mostly.
  const auto top = entry.path.substr(0, entry.path.find('/'));
  if (top != run.lastTop.first) run.lastTop = {top, isLauncherOwnName(top)};
  if (run.lastTop.second) return "belongs to the launcher";
  if (target == Target::folder) {
    entry.to = installedFolder(run, level).handle.fd;
    struct stat there;
    if (::fstatat(entry.to, entry.target.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0) {
      entry.there = there;
    } else if (errno != ENOENT) {
      throwSystemError("status", entry.shownTarget);
    }
  }
  // Known by what they are, under whatever name the volume finds them.
  if (entry.there &&
      std::find(run.own.begin(), run.own.end(),
                std::make_pair(entry.there->st_dev, entry.there->st_ino)) != run.own.end()) {
    return "belongs to the launcher";
  }
  return {};
}

Change keptKind(const struct stat& there) {
  return S_ISDIR(there.st_mode) ? Change::keptFolder : Change::keptFile;
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

// The record of the change that puts the entry in place. Where this run puts an entry there
// already (the ".asar" rename, links leading to one place), the old version is the one kept by
// that first change, so that an undo done twice still puts it back.
JournalRecord changeFor(Run& run, std::size_t level, const Entry& entry, std::string temporary) {
  const auto first = run.written.find(entry.path);
  if (first != run.written.end()) {
    const auto& earlier = run.journal.records[run.placings[first->second].record];
    return {earlier.change, entry.path, earlier.kept, std::move(temporary)};
  }
  if (!entry.there) return {Change::added, entry.path, {}, std::move(temporary)};
  return {keptKind(*entry.there), entry.path, joined(run.levels[level].path, entry.target),
          std::move(temporary)};
}

// Plans the update's entry at `level`, which goes in: records the change that puts it in place,
// under the name the volume stores for its place.
void plan(Run& run, std::size_t level, Entry entry) {
  // The place as the volume has it: the name it stores, or the place an earlier entry of the
  // update found the same entry at; the update's spelling comes by a rename of its own.
  std::string respelling;
  if (entry.there) {
    // Entries of the installation's own file system only, whose numbers are unique.
    const auto same = entry.there->st_dev == run.root.device ? run.entries.find(entry.there->st_ino)
                                                             : run.entries.end();
    std::string stored;
    if (same != run.entries.end() && entry.there->st_nlink == 1) {
      stored = run.placings[same->second].target;
    } else {
      spelledOtherwise(run, level, entry.target, stored);
    }
    if (!stored.empty() && stored != entry.target) {
      respelling = std::exchange(entry.target, stored);
      entry.path = joined(run.levels[level].real, entry.target);
    }
  }
  // A folder this run makes, where the update puts an entry too, is replaced like any other.
  if (!entry.there && run.made.count(entry.path) != 0) {
    entry.there.emplace();
    entry.there->st_mode = S_IFDIR | 0755;
  }
  entry.mode = modeFor(entry);
  auto temporary = nextTemporaryName(run.names);
  const bool keeps = entry.there && run.written.count(entry.path) == 0;
  record(run.journal, changeFor(run, level, entry, joined(run.levels[level].real, temporary)));
  const auto at = run.journal.records.size() - 1;
  if (!respelling.empty()) {
    record(run.journal,
           {Change::respelled, joined(run.levels[level].real, respelling), entry.target, {}});
  }
  run.written.emplace(entry.path, run.placings.size());
  if (entry.there && entry.there->st_dev == run.root.device) {
    run.entries.emplace(entry.there->st_ino, run.placings.size());
  }
  run.placings.push_back({level, std::move(entry.name), std::move(entry.target),
                          std::move(respelling), entry.status, entry.mode,
                          static_cast<mode_t>(entry.there ? entry.there->st_mode & S_IFMT : 0), at,
                          keeps, Move::rename});
}

void copyEntry(Run& run, const std::string& name) {
  const auto level = run.walking.back();
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
  fs::path shownKept = joined(run.rollback.shown.native(), joined(folder, target));
  std::cout << "copying " << entry.shownEntry.string() << " to " << entry.shownTarget.string()
            << " using as rollback " << shownKept.string() << std::endl;
  try {
    reachTarget(run, level, true);
    if (::fstatat(entry.from, name.c_str(), &entry.status, AT_SYMLINK_NOFOLLOW) != 0) {
      throwSystemError("status", entry.shownEntry);
    }
  } catch (const fs::filesystem_error& error) {
    throwCopyError(entry.shownEntry, entry.shownTarget, error);
  }
  plan(run, level, std::move(entry));
}

// Enters the update's folder `name` in the folder being walked.
void enter(Run& run, const std::string& name) {
  const auto parent = run.walking.back();
  const auto path = joined(run.levels[parent].path, name);
  auto listing = listFolder(openFolderIn(::dirfd(run.levels[parent].source.get()), name));
  if (!listing) throwSystemError("cannot open folder", run.updateFolder / path);
  run.walking.push_back(run.levels.size());
  run.levels.push_back({std::move(listing), {}, path, parent, Target::unknown, {}, {}, {}, {}});
}

// Walks the update and plans every entry, each recorded, before anything changes. Depth first,
// in the order the system lists each folder: a folder's entries come right after the point where
// the walk enters it.
void plan(Run& run) {
  while (!run.walking.empty()) {
    auto& level = run.levels[run.walking.back()];
    auto* source = level.source.get();
    errno = 0;
    const auto* item = ::readdir(source);
    if (!item) {
      if (errno != 0) throwSystemError("cannot list folder", run.updateFolder / level.path);
      // The listing's buffer goes; its handle stays for the entries to be read from.
      level.sourceFolder = Descriptor(::fcntl(::dirfd(source), F_DUPFD_CLOEXEC, 0));
      if (level.sourceFolder.fd < 0) throwSystemError("cannot open folder", level.path);
      level.source.reset();
      run.walking.pop_back();
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

// Gives the old version at the entry's target a second name in the rollback folder `kept`; an
// old link, where links take no second names (HFS+), a link of its own with the same text: only
// its text counts, to the code seal as to the system. False, with errno set, when neither can be.
bool keepOldVersion(const Entry& entry, int kept) {
  const auto name = entry.target.c_str();
  if (::linkat(entry.to, name, kept, name, 0) == 0) return true;
  const int error = errno;
  std::string text;
  if (error != EEXIST && S_ISLNK(entry.there->st_mode) && readLink(entry.to, entry.target, text) &&
      ::symlinkat(text.c_str(), kept, name) == 0) {
    return true;
  }
  errno = error;
  return false;
}

// The paths that lines and errors name for `placing`: its entry's, and its rollback path.
struct Shown {
  fs::path entry, target, kept;
};
Shown shownFor(const Run& run, const Placing& placing) {
  const auto& folder = run.levels[placing.level].path;
  const auto& target = placing.respelling.empty() ? placing.target : placing.respelling;
  return {joined(run.updateFolder.native(), joined(folder, placing.name)),
          joined(run.appFolder.native(), joined(folder, target)),
          joined(run.rollback.shown.native(), joined(folder, target))};
}

// The temporary name the journal gave the new version of `placing`.
const char* temporaryOf(const Run& run, const Placing& placing) {
  const auto& temporary = run.journal.records[placing.record].temporary;
  return temporary.c_str() + temporary.rfind('/') + 1;
}

// Makes the new version of `placing` complete where nobody looks yet: under its temporary name
// beside the target, or, for a folder it replaces, at its place in the rollback folder; gives
// the old version its second name there.
void prepare(Run& run, Placing& placing) {
  const auto shown = shownFor(run, placing);
  Entry entry{run.levels[placing.level].sourceFolder.fd,
              placing.name,
              placing.status,
              madeFolder(run, placing.level).handle.fd,
              placing.target,
              {},
              std::nullopt,
              placing.mode,
              run.shareable,
              shown.entry,
              shown.target};
  if (placing.there) {
    entry.there.emplace();
    entry.there->st_mode = placing.there;
  }
  if (placing.keeps && S_ISDIR(placing.there)) {
    // Whatever the folder holds leaves with the rollback folder: never another file system's.
    if (holdsOtherFileSystem(entry.to, entry.target, run.root.device)) {
      throwSystemError("cannot replace a folder that holds another file system", shown.target,
                       EXDEV);
    }
    makeEntry(entry, keptFolder(run, placing.level), entry.target);
    placing.move = Move::exchange;
    return;
  }
  if (placing.keeps && !keepOldVersion(entry, keptFolder(run, placing.level))) {
    if (errno == EEXIST) throwSystemError("cannot keep the old version", shown.target, shown.kept);
    // A file system without second names: the old version moves aside when the new one comes,
    // and the journal covers the moment between.
    placing.move = Move::aside;
  }
  makeEntry(entry, entry.to, temporaryOf(run, placing));
}

// Puts the complete new version of `placing` in place.
void switchIn(Run& run, Placing& placing) {
  const int to = installedFolder(run, placing.level).handle.fd;
  const auto target = placing.target.c_str();
  const auto temporary = temporaryOf(run, placing);
  const int kept =
      placing.level == 0 ? run.rollback.folder.handle.fd : run.levels[placing.level].kept.fd;
  // Errors only: the paths are made when one comes.
  enum Names { entryAndTarget, keptAndTarget, targetAndKept, targetOnly };
  const auto fail = [&run, &placing](const char* what, Names names) {
    const int error = errno;
    const auto shown = shownFor(run, placing);
    switch (names) {
      case entryAndTarget:
        throwSystemError(what, shown.entry, shown.target, error);
      case keptAndTarget:
        throwSystemError(what, shown.kept, shown.target, error);
      case targetAndKept:
        throwSystemError(what, shown.target, shown.kept, error);
      case targetOnly:
        throwSystemError(what, shown.target, error);
    }
  };
  switch (placing.move) {
    case Move::exchange:
      if (exchangeEntries(kept, placing.target, to, placing.target)) break;
      if (!exchangeRefused(errno)) fail("cannot exchange", keptAndTarget);
      // No exchange here: the folder moves aside first; the journal covers that moment.
      if (::renameat(kept, target, to, temporary) != 0 ||
          ::renameat(to, target, kept, target) != 0 || ::renameat(to, temporary, to, target) != 0) {
        fail("cannot move aside", targetAndKept);
      }
      break;
    case Move::aside:
      if (::renameat(to, target, kept, target) != 0)
        fail("cannot keep the old version", targetAndKept);
      [[fallthrough]];
    case Move::rename:
      if (::renameat(to, temporary, to, target) != 0) fail("install", entryAndTarget);
  }
  if (!placing.respelling.empty() && ::renameat(to, target, to, placing.respelling.c_str()) != 0) {
    fail("cannot rename", targetOnly);
  }
}

// Runs `step` over every placing, a failure told as the copy error of its entry.
template <typename Step>
void forEachPlacing(Run& run, Step step) {
  for (auto& placing : run.placings) {
    try {
      step(run, placing);
    } catch (const fs::filesystem_error& error) {
      const auto shown = shownFor(run, placing);
      throwCopyError(shown.entry, shown.target, error);
    }
  }
}

[[noreturn]] void cannotFlush(const Run& run) {
  throwSystemError("cannot write the update to disk", run.appFolder);
}
}  // namespace

void copyFolder(const fs::path& sourceRoot, const fs::path& targetRoot, const Folder& root,
                const RollbackFolder& rollback, Journal& journal) {
  auto listing =
      listFolder(Descriptor(::open(sourceRoot.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)));
  if (!listing && (errno == ENOENT || errno == ENOTDIR)) throw std::runtime_error("Invalid folder");
  if (!listing) throwSystemError("cannot open folder", sourceRoot);
  Run run{sourceRoot, targetRoot, root, rollback, journal, temporaryNameSeed(),
          {},         false,      {},   {},       {},      {},
          {},         {},         {},   {}};
  struct stat status;
  const auto own = [&run](bool found, const struct stat& status) {
    if (found) run.own.emplace_back(status.st_dev, status.st_ino);
  };
  own(::fstatat(root.handle.fd, kLockFileName.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0, status);
  own(::fstatat(root.handle.fd, kRollbackFolderName.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0,
      status);
  own(::fstat(journal.file.fd, &status) == 0, status);
  own(::fstat(rollback.folder.handle.fd, &status) == 0, status);
  // Second names only of files in a folder of the installation's own: an update folder that
  // is a link may lead to a staging area that is written to later.
  run.shareable = ::lstat(sourceRoot.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
  own(run.shareable, status);
  run.levels.push_back({std::move(listing), {}, "", 0, Target::folder, "", {}, {}, {}});
  run.walking.push_back(0);
  allowManyOpenFiles();

  // Whatever moment the machine stops, the disk holds the old installation or the new one: each
  // phase's writes reach it before the next phase's. First the plan, so that nothing the run
  // makes is unknown to the next start.
  plan(run);
  if (!orderWrites(journal.file.fd)) cannotFlush(run);
  // Then every new version complete and every old one kept, out of sight: what a power cut
  // leaves of them is undone.
  forEachPlacing(run, prepare);
  if (!flushFileSystem(root.handle.fd)) cannotFlush(run);
  // Then names only: no bytes are written from here on.
  forEachPlacing(run, switchIn);
  for (const auto& folder : run.respellings) {
    const int in = installedFolder(run, folder.level).handle.fd;
    if (::renameat(in, folder.stored.c_str(), in, folder.name.c_str()) != 0) {
      throwSystemError("cannot rename",
                       run.appFolder / joined(run.levels[folder.level].path, folder.name));
    }
  }
  if (!orderWrites(journal.file.fd)) cannotFlush(run);
}

fs::path withAsarRename(const fs::path& target) {
  return target.parent_path() / asarRenamed(target.filename().string());
}
