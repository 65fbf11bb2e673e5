#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

#include "locations/folder_handles.h"
#include "platform/platform.h"

namespace fs = boost::filesystem;

namespace {
// As many links as a path resolution by the system would follow.
constexpr int kMostLinks = 32;

Reached blocked(int error) { return {Reach::blocked, {}, error}; }

// The components of `relative`, last first, to be taken from the back.
void pushComponents(std::vector<std::string>& pending, const std::string& relative) {
  for (auto end = relative.size(); end != std::string::npos && end > 0;) {
    const auto slash = relative.rfind('/', end - 1);
    const auto begin = slash == std::string::npos ? 0 : slash + 1;
    pending.push_back(relative.substr(begin, end - begin));
    end = slash;
  }
}

// The rest of an absolute link text below `rootPath`; false when it names a place elsewhere.
bool belowRoot(std::string& text, const fs::path& rootPath) {
  const auto& base = rootPath.native();
  if (base.empty() || text.compare(0, base.size(), base) != 0 ||
      (text.size() > base.size() && text[base.size()] != '/')) {
    return false;
  }
  text.erase(0, base.size());
  return true;
}
}  // namespace

Folder openFolder(const fs::path& path) {
  Descriptor handle(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  struct stat status;
  if (handle.fd < 0 || ::fstat(handle.fd, &status) != 0) {
    throwSystemError("cannot open folder", path);
  }
  return {std::move(handle), "", status.st_dev, status.st_uid};
}

bool readLink(int folder, const std::string& name, std::string& text) {
  char buffer[4096];
  const auto length = ::readlinkat(folder, name.c_str(), buffer, sizeof buffer);
  if (length < 0) return false;
  if (length == static_cast<ssize_t>(sizeof buffer)) {
    errno = ENAMETOOLONG;
    return false;
  }
  text.assign(buffer, static_cast<std::size_t>(length));
  return true;
}

Descriptor openFolderIn(int parent, const std::string& name) {
  return Descriptor(
      ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

Reached openChild(const Folder& parent, const std::string& name, bool anyFileSystem) {
  auto handle = openFolderIn(parent.handle.fd, name);
  if (handle.fd < 0) {
    const int error = errno;
    if (error == ENOENT) return {Reach::missing, {}};
    // A link refuses the open with one or the other, as the system has it.
    struct stat status;
    if ((error == ELOOP || error == ENOTDIR) &&
        ::fstatat(parent.handle.fd, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISLNK(status.st_mode)) {
      return {Reach::link, {}};
    }
    return blocked(error);
  }
  struct stat status;
  if (::fstat(handle.fd, &status) != 0) return blocked(errno);
  if (status.st_dev != parent.device && !anyFileSystem) return blocked(EXDEV);
  return {Reach::folder,
          {std::move(handle), joined(parent.path, name), status.st_dev, status.st_uid}};
}

Reached walk(const Folder& root, const std::string& relative, const Walk& how) {
  // The real folders from the root down to where the walk stands: ".." goes back up this chain,
  // never above the root.
  std::vector<Folder> chain;
  std::vector<std::string> pending;
  pushComponents(pending, relative);
  for (int links = 0; !pending.empty();) {
    const auto name = std::move(pending.back());
    pending.pop_back();
    if (name.empty() || name == ".") continue;
    if (name == "..") {
      if (chain.empty()) return {Reach::outside, {}};
      chain.pop_back();
      continue;
    }
    const Folder& here = chain.empty() ? root : chain.back();
    auto child = openChild(here, name, how.anyFileSystem);
    if (child.reach == Reach::link && how.followLinks) {
      std::string text;
      if (++links > kMostLinks) return blocked(ELOOP);
      if (!readLink(here.handle.fd, name, text)) return blocked(errno);
      if (!text.empty() && text.front() == '/') {
        if (!belowRoot(text, how.rootPath)) return {Reach::outside, {}};
        chain.clear();
      }
      pushComponents(pending, text);
      continue;
    }
    if (child.reach != Reach::folder) return child;
    chain.push_back(std::move(child.folder));
  }
  if (!chain.empty()) return {Reach::folder, std::move(chain.back())};
  Descriptor again(::fcntl(root.handle.fd, F_DUPFD_CLOEXEC, 0));
  if (again.fd < 0) return blocked(errno);
  return {Reach::folder, {std::move(again), root.path, root.device, root.owner}};
}

Reached walkLinkText(const Folder& root, const std::string& folder, std::string text,
                     const Walk& how) {
  if (text.empty() || text.front() != '/') return walk(root, joined(folder, text), how);
  if (!belowRoot(text, how.rootPath)) return {Reach::outside, {}};
  return walk(root, text, how);
}

std::string joined(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  std::string path;
  path.reserve(folder.size() + 1 + name.size());
  return path.append(folder).append(1, '/').append(name);
}

std::pair<std::string, std::string> splitLast(const std::string& relative) {
  const auto slash = relative.rfind('/');
  if (slash == std::string::npos) return {"", relative};
  return {relative.substr(0, slash), relative.substr(slash + 1)};
}

bool isPlainRelative(const std::string& relative) {
  if (relative.empty() || relative.front() == '/') return false;
  for (std::size_t begin = 0; begin <= relative.size();) {
    auto end = relative.find('/', begin);
    if (end == std::string::npos) end = relative.size();
    const auto component = relative.substr(begin, end - begin);
    if (component.empty() || component == "." || component == "..") return false;
    begin = end + 1;
  }
  return true;
}

Listing listFolder(Descriptor folder) {
  Listing listing(::fdopendir(folder.fd), ::closedir);
  if (listing) folder.fd = -1;  // the listing closes it
  return listing;
}

bool isFolderEntry(int folder, const dirent& entry) {
  if (entry.d_type != DT_UNKNOWN) return entry.d_type == DT_DIR;
  // Some file systems leave the type to a look of its own.
  struct stat status;
  return ::fstatat(folder, entry.d_name, &status, AT_SYMLINK_NOFOLLOW) == 0 &&
         S_ISDIR(status.st_mode);
}

namespace {
// The entries of a listed folder but "." and "..", each with whether it is a folder.
bool namesIn(DIR* listing, std::vector<std::pair<std::string, bool>>& names) {
  errno = 0;
  while (const auto* entry = ::readdir(listing)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..")
      names.emplace_back(name, isFolderEntry(::dirfd(listing), *entry));
  }
  return errno == 0;
}

// The folder `name` in `parent`, listed, where it is a folder on `device`.
Listing openListing(int parent, const std::string& name, dev_t device) {
  auto handle = openFolderIn(parent, name);
  struct stat status;
  if (handle.fd >= 0 && ::fstat(handle.fd, &status) == 0 && status.st_dev != device) {
    errno = EXDEV;
    handle = Descriptor();
  }
  if (handle.fd < 0) return Listing(nullptr, ::closedir);
  return listFolder(std::move(handle));
}

bool removeEntry(int parent, const std::string& name, bool folder, dev_t device) {
  if (!folder) {
    if (::unlinkat(parent, name.c_str(), 0) == 0 || errno == ENOENT) return true;
    // A folder after all (macOS answers EPERM): taken as one below.
    if (errno != EISDIR && errno != EPERM) return false;
  }
  auto listing = openListing(parent, name, device);
  if (!listing) return errno == ENOENT;
  std::vector<std::pair<std::string, bool>> names;
  bool whole = namesIn(listing.get(), names);
  for (const auto& [child, isFolder] : names) {
    whole = removeEntry(::dirfd(listing.get()), child, isFolder, device) && whole;
  }
  listing.reset();
  return whole && (::unlinkat(parent, name.c_str(), AT_REMOVEDIR) == 0 || errno == ENOENT);
}
}  // namespace

bool removeTree(int parent, const std::string& name, dev_t device) {
  return removeEntry(parent, name, false, device);
}

bool holdsOtherFileSystem(int parent, const std::string& name, dev_t device) {
  auto listing = openListing(parent, name, device);
  std::vector<std::pair<std::string, bool>> names;
  // A folder that cannot be looked through might hold anything.
  if (!listing || !namesIn(listing.get(), names)) return true;
  for (const auto& [child, isFolder] : names) {
    if (isFolder && holdsOtherFileSystem(::dirfd(listing.get()), child, device)) return true;
  }
  return false;
}
