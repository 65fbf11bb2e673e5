#pragma once

#include <dirent.h>
#include <sys/types.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <boost/filesystem/path.hpp>

#include "platform/descriptor.h"

// Folders reached through open handles: a path is resolved once, one component at a time from a
// folder already open, and never again; no link and no mount leads a walk out of where it began.

// A folder reached from a root: its handle, its path below that root with no link in it ("" for
// the root itself), the file system it lies on and its owner.
struct Folder {
  Descriptor handle;
  std::string path;
  dev_t device = 0;
  uid_t owner = 0;
};

// The folder at `path`, opened as the system resolves it: the root of what follows. Throws when
// it is no folder.
Folder openFolder(const boost::filesystem::path& path);

enum class Reach {
  folder,   // a folder on the file system of the one the walk began in
  missing,  // nothing there
  link,     // a symbolic link, not followed
  outside,  // a link that leads out of the root
  blocked,  // anything else: a file, a folder of another file system, a failure (in `error`)
};

struct Reached {
  Reach reach;
  Folder folder;  // when a folder was reached
  int error = 0;  // when blocked
};

// How a walk treats what it meets on the way.
struct Walk {
  // A link leads on where it stays beneath the root: an absolute link text only where it names a
  // place below `rootPath`, the root's own path. Otherwise the first link ends the walk.
  bool followLinks = false;
  boost::filesystem::path rootPath;
  // Folders of other file systems are entered; otherwise one ends the walk.
  bool anyFileSystem = false;
};

// The folder `name` in the open folder `parent`, without following a link; no handle, with
// errno set, when it is none.
Descriptor openFolderIn(int parent, const std::string& name);

// The folder `name` in `parent`, without following a link.
Reached openChild(const Folder& parent, const std::string& name, bool anyFileSystem = false);

// Walks `relative` from `root`, one component at a time.
Reached walk(const Folder& root, const std::string& relative, const Walk& how = {});

// Where a link with the text `text` in the folder at `folder` below `root` leads, as `walk`
// would follow it.
Reached walkLinkText(const Folder& root, const std::string& folder, std::string text,
                     const Walk& how);

// The text of the link `name` in `folder`; false, with errno set, when it cannot be read.
bool readLink(int folder, const std::string& name, std::string& text);

// `name` below `folder` ("" for the root).
std::string joined(const std::string& folder, const std::string& name);
// The folder part of `relative` and its last component.
std::pair<std::string, std::string> splitLast(const std::string& relative);
// Whether `relative` names a place beneath its root as it stands: not empty, not absolute, no
// empty, "." or ".." component.
bool isPlainRelative(const std::string& relative);

// An open folder's listing; its handle is taken over and serves the *at calls while it lasts.
using Listing = std::unique_ptr<DIR, int (*)(DIR*)>;
Listing listFolder(Descriptor folder);
// Whether a listed entry of `folder` is a folder itself, not following a link.
bool isFolderEntry(int folder, const dirent& entry);

// Removes `name` in `parent`, with everything in it when it is a folder, never following a link
// nor entering a folder of another file system than `device`; true once nothing of it is left.
bool removeTree(int parent, const std::string& name, dev_t device);

// Whether the folder `name` in `parent` lies on another file system than `device` or holds a
// folder of one at any depth.
bool holdsOtherFileSystem(int parent, const std::string& name, dev_t device);
