#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <map>
#include <optional>
#include <utility>

#include <boost/filesystem/operations.hpp>

#include "lobby/error_dialog.h"
#include "locations/app_folder.h"
#include "locations/temporary_names.h"
#include "platform/platform.h"
#include "update/journal.h"
#include "update/rollback.h"

namespace fs = boost::filesystem;

namespace {
const char kSharedParent[] = "poker_rollback";

// A fresh folder in `parent`, recorded as `recordedParent` and its name before it is made;
// nothing, with errno set, when it cannot be made.
std::optional<RollbackFolder> makeRunFolder(Journal& journal, const Folder& parent,
                                            const std::string& recordedParent,
                                            const fs::path& shownParent) {
  std::string name;
  struct stat taken;
  do {
    name = fs::unique_path("%%%%%%%%").string();
  } while (::fstatat(parent.handle.fd, name.c_str(), &taken, AT_SYMLINK_NOFOLLOW) == 0);
  record(journal, {Change::rollbackFolder, joined(recordedParent, name), {}, {}});
  // On the disk before the folder: a power cut never leaves one that no journal names.
  if (!orderWrites(journal.file.fd) || ::mkdirat(parent.handle.fd, name.c_str(), 0700) != 0) {
    return std::nullopt;
  }
  auto made = openChild(parent, name);
  if (made.reach != Reach::folder) {
    errno = made.error ? made.error : ENOTDIR;
    return std::nullopt;
  }
  return RollbackFolder{std::move(made.folder), shownParent / name};
}

// The rollback folder in the temporary directory, where old versions can move between it and the
// application folder `root`; nothing where they cannot.
std::optional<RollbackFolder> sharedRollbackFolder(const Folder& root, Journal& journal) {
  boost::system::error_code unusable;
  auto temp = fs::temp_directory_path(unusable);
  // Recorded as the system resolves it now, so that a later start walks it without following a
  // link, whatever the working folder is then.
  if (!unusable) temp = fs::canonical(fs::absolute(temp), unusable);
  if (unusable) return std::nullopt;
  Folder shared{Descriptor(::open(temp.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)), "", 0, 0};
  struct stat status;
  if (shared.handle.fd < 0 || ::fstat(shared.handle.fd, &status) != 0 ||
      status.st_dev != root.device) {
    return std::nullopt;
  }
  // Another user who could reach the old versions could swap what an undo puts back.
  shared.handle = openPrivateFolder(shared.handle.fd, kSharedParent);
  shared.device = status.st_dev;
  if (shared.handle.fd < 0) return std::nullopt;
  auto run = makeRunFolder(journal, shared, (temp / kSharedParent).string(), temp / kSharedParent);
  if (!run) return std::nullopt;
  // A bind mount of the application's file system, or a folder the launcher may not move names
  // into, shows only when a name moves: the journal's own is tried.
  const int folder = run->folder.handle.fd;
  if (::linkat(root.handle.fd, kJournalName.c_str(), folder, kJournalName.c_str(), 0) == 0 &&
      ::unlinkat(folder, kJournalName.c_str(), 0) == 0) {
    return run;
  }
  ::unlinkat(shared.handle.fd, run->shown.filename().c_str(), AT_REMOVEDIR);
  return std::nullopt;
}

// The rollback folder in the application folder: private to the launcher, and on the
// installation's own file system, so that old versions move there and back by rename alone.
RollbackFolder privateRollbackFolder(const fs::path& appFolder, const Folder& root,
                                     Journal& journal) {
  const auto shown = appFolder / kRollbackFolderName;
  record(journal, {Change::privateFolder, kRollbackFolderName, {}, {}});
  if (!orderWrites(journal.file.fd)) throwSystemError("cannot write the update journal", shown);
  const Folder parent{openPrivateFolder(root.handle.fd, kRollbackFolderName), kRollbackFolderName,
                      root.device, ::geteuid()};
  if (parent.handle.fd < 0) throwSystemError("cannot use folder", shown);
  auto run = makeRunFolder(journal, parent, kRollbackFolderName, shown);
  if (!run) throwSystemError("cannot create folder", shown);
  return std::move(*run);
}

void notActing(const std::string& what, const std::string& why) {
  std::cout << "not acting on journal record " << what << ": " << why << std::endl;
}

// What a journal's path names, looked for below one root: its folder and its last component.
// Records come folder by folder, so the last folder found is kept for the next.
struct Places {
  const Folder& root;
  std::string folderPath = std::string(1, '\0');  // no path a record holds
  Reached folder{Reach::missing, {}};
};

// The folder that holds `relative` below the root of `places`; nothing when it is not there, or,
// with a line, when the record names no place beneath the root as it stands.
const Folder* find(Places& places, const std::string& relative, std::string& name, bool& actedOn) {
  actedOn = isPlainRelative(relative);
  if (!actedOn) {
    notActing(relative, "it names a place outside its folder");
    return nullptr;
  }
  std::string folderPath;
  std::tie(folderPath, name) = splitLast(relative);
  // What the undo changes in between is reached through the parent, which takes the place of the
  // last folder kept: a folder kept is never one that changed since.
  if (folderPath != places.folderPath) {
    places.folderPath = folderPath;
    places.folder = walk(places.root, folderPath);
  }
  switch (places.folder.reach) {
    case Reach::folder:
      return &places.folder.folder;
    case Reach::missing:
      return nullptr;
    case Reach::blocked:
      // A file where a folder was: what was below it is gone.
      if (places.folder.error == ENOTDIR) return nullptr;
      notActing(relative, std::strerror(places.folder.error));
      break;
    default:
      notActing(relative, "it is reached through a link");
  }
  actedOn = false;
  return nullptr;
}

// Removes the file or link that the run made at `relative`; true once nothing of it is there. A
// folder there is none of the run's.
bool removeMade(Places& places, const std::string& relative) {
  std::string name;
  bool actedOn;
  const auto* folder = find(places, relative, name, actedOn);
  if (!folder) return actedOn;
  struct stat status;
  return ::unlinkat(folder->handle.fd, name.c_str(), 0) == 0 || errno == ENOENT ||
         (::fstatat(folder->handle.fd, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
          S_ISDIR(status.st_mode));
}

// Removes a temporary name the run made at `relative`; never anything under another name.
bool removeTemporary(Places& places, const std::string& relative) {
  if (!isTemporaryName(splitLast(relative).second)) {
    notActing(relative, "it is no temporary name");
    return false;
  }
  return removeMade(places, relative);
}

// Removes a folder that the run made, when it is empty; true once no empty one is there.
bool removeFolder(Places& places, const std::string& relative) {
  std::string name;
  bool actedOn;
  const auto* folder = find(places, relative, name, actedOn);
  if (!folder) return actedOn;
  return ::unlinkat(folder->handle.fd, name.c_str(), AT_REMOVEDIR) == 0 || errno == ENOENT ||
         errno == ENOTEMPTY || errno == EEXIST || errno == ENOTDIR;
}

// Gives the entry that the run respelled the name it had, while the volume still finds it under
// that name spelled as the run left it; true once it has its old name.
bool respellBack(Places& places, const JournalRecord& record) {
  std::string name, stored;
  bool actedOn;
  const auto* folder = find(places, record.path, name, actedOn);
  if (!folder) return actedOn;
  if (!isPlainRelative(record.kept) || record.kept.find('/') != std::string::npos) {
    notActing(record.path, "it names a place outside its folder");
    return false;
  }
  // Gone, spelled as before already, or another entry: nothing to do.
  if (!storedName(folder->handle.fd, record.kept, stored) || stored != name) return true;
  return ::renameat(folder->handle.fd, name.c_str(), folder->handle.fd, record.kept.c_str()) == 0;
}

// A rollback folder that a journal names, open, with what holds it.
struct KeptFolder {
  Folder parent;
  std::string name;
  Folder folder;
  fs::path shown;
};

// The rollback folder at `path` (absolute, or below the application folder `root`); nothing when
// it is gone, or, with a line, when it is no real folder of the launcher's user reached without
// following a link.
std::optional<KeptFolder> openKeptFolder(const fs::path& appFolder, const Folder& root,
                                         const std::string& path) {
  const bool absolute = !path.empty() && path.front() == '/';
  const auto relative = absolute ? path.substr(1) : path;
  if (!isPlainRelative(relative)) {
    notActing(path, "it names a place outside its folder");
    return std::nullopt;
  }
  const auto [folderPath, name] = splitLast(relative);
  // The temporary directory lies wherever the system has it; nothing on the way is followed.
  const auto top = absolute ? openFolder("/") : Folder{};
  auto parent = walk(absolute ? top : root, folderPath, {false, {}, absolute});
  auto kept = parent.reach == Reach::folder ? openChild(parent.folder, name)
                                            : Reached{parent.reach, {}, parent.error};
  if (kept.reach == Reach::missing) return std::nullopt;
  const auto user = ::geteuid();
  if (kept.reach != Reach::folder || kept.folder.owner != user || parent.folder.owner != user) {
    notActing(path, "it is no folder of the launcher's own");
    return std::nullopt;
  }
  return KeptFolder{std::move(parent.folder), name, std::move(kept.folder),
                    absolute ? fs::path(path) : appFolder / path};
}

// Puts the old version that `record` kept below `kept` back at its place below `places`' root;
// false when it could not.
bool putBack(const fs::path& appFolder, Places& places, Places& kept, const fs::path& keptShown,
             const JournalRecord& record) {
  std::string name, keptName;
  bool actedOn;
  const auto* keptIn = find(kept, record.kept, keptName, actedOn);
  struct stat old, there;
  // Not kept yet, put back already, or gone with the temporary directory.
  if (!keptIn || ::fstatat(keptIn->handle.fd, keptName.c_str(), &old, AT_SYMLINK_NOFOLLOW) != 0) {
    return true;
  }
  // A folder's rollback path holds the new version until the two are exchanged.
  const bool folder = record.change == Change::keptFolder;
  if (folder != S_ISDIR(old.st_mode)) return true;
  const auto* folderIn = find(places, record.path, name, actedOn);
  if (!folderIn) return !actedOn;
  const int from = keptIn->handle.fd;
  const int to = folderIn->handle.fd;
  const bool placed = ::fstatat(to, name.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0;
  // Still in its place too: the run ended before replacing it. A link kept as a copy of its
  // text is its place's own while the text is the same.
  if (placed && there.st_dev == old.st_dev && there.st_ino == old.st_ino) return true;
  std::string keptText, text;
  if (placed && S_ISLNK(old.st_mode) && S_ISLNK(there.st_mode) &&
      readLink(keptIn->handle.fd, keptName, keptText) &&
      readLink(folderIn->handle.fd, name, text) && keptText == text) {
    return true;
  }

  std::cout << "rollbacking " << (keptShown / record.kept).string() << " into "
            << (appFolder / record.path).string() << std::endl;
  if (folder && placed) {
    if (exchangeEntries(from, keptName, to, name)) return true;
    if (!exchangeRefused(errno)) return false;
    if (::unlinkat(to, name.c_str(), 0) != 0 && ::unlinkat(to, name.c_str(), AT_REMOVEDIR) != 0) {
      return false;
    }
  }
  return ::renameat(from, keptName.c_str(), to, name.c_str()) == 0;
}
}  // namespace

RollbackFolder startRollbackFolder(const fs::path& appFolder, const Folder& root,
                                   Journal& journal) {
  if (auto shared = sharedRollbackFolder(root, journal)) return std::move(*shared);
  return privateRollbackFolder(appFolder, root, journal);
}

Undo rollback(const fs::path& appFolder, const Folder& root,
              const std::vector<JournalRecord>& records) {
  Undo undo{true, true};
  Places places{root};
  // Each old version lies below the rollback folder recorded last before it, opened once.
  std::map<std::size_t, std::optional<KeptFolder>> keptFolders;
  std::map<std::size_t, Places> keptPlaces;
  std::vector<std::size_t> keptIn(records.size());
  for (std::size_t i = 0, last = 0; i < records.size(); ++i) {
    if (records[i].change == Change::rollbackFolder) last = i;
    keptIn[i] = last;
  }
  for (auto i = records.size(); i-- > 0;) {
    const auto& record = records[i];
    switch (record.change) {
      case Change::added:
        undo.clean = removeMade(places, record.path) && removeTemporary(places, record.temporary) &&
                     undo.clean;
        break;
      case Change::keptFile:
      case Change::keptFolder: {
        undo.clean = removeTemporary(places, record.temporary) && undo.clean;
        auto found = keptFolders.find(keptIn[i]);
        if (found == keptFolders.end()) {
          const auto& folderRecord = records[keptIn[i]];
          found = keptFolders
                      .emplace(keptIn[i], folderRecord.change == Change::rollbackFolder
                                              ? openKeptFolder(appFolder, root, folderRecord.path)
                                              : std::nullopt)
                      .first;
        }
        if (!found->second) break;  // gone with the temporary directory
        auto& kept = keptPlaces.try_emplace(keptIn[i], Places{found->second->folder}).first->second;
        undo.restored =
            putBack(appFolder, places, kept, found->second->shown, record) && undo.restored;
        break;
      }
      case Change::folderMade:
        undo.clean = removeFolder(places, record.path) && undo.clean;
        break;
      case Change::respelled:
        undo.restored = respellBack(places, record) && undo.restored;
        break;
      default:
        break;
    }
  }
  if (!undo.restored) {
    reportError(
        "There was an error while rollbacking a failed update. You may need to reinstall the "
        "application.");
  }
  return undo;
}

void endUpdate(const fs::path& appFolder, const Folder& root,
               const std::vector<JournalRecord>& records, Ending ending) {
  const bool complete = !records.empty() && records.back().change == Change::complete;
  auto undo = complete ? Undo{true, true} : rollback(appFolder, root, records);
  // The old versions back on the disk before anything of the run goes: a power cut must not
  // keep the removal and lose the way back. When that cannot be, the run's journal and its
  // rollback folder stay for the next start.
  if (!complete && !orderWrites(root.handle.fd) && ending == Ending::run) return;
  // Newest first: the rollback folder goes before the folder made to hold it.
  for (auto it = records.rbegin(); it != records.rend(); ++it) {
    if (it->change == Change::rollbackFolder) {
      const auto kept = openKeptFolder(appFolder, root, it->path);
      if (!kept) continue;
      if (!undo.restored) {
        // The old versions that did not go back are still there to recover by hand.
        std::cout << "keeping rollback folder " << kept->shown.string() << std::endl;
        continue;
      }
      if (ending == Ending::run) {
        std::cout << "deleting rollback folder " << kept->shown.string() << std::endl;
      }
      undo.clean =
          removeTree(kept->parent.handle.fd, kept->name, kept->folder.device) && undo.clean;
    } else if (it->change == Change::privateFolder && it->path == kRollbackFolderName) {
      Places places{root};
      undo.clean = removeFolder(places, it->path) && undo.clean;
    }
  }
  // While anything is left, the journal stays for the next start to finish the work; that start
  // itself, when it cannot, leaves what it could not put back and goes on.
  if ((undo.restored && undo.clean) || ending == Ending::laterStart) removeJournal(root);
}
