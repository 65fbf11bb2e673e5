#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <utility>

#include <boost/filesystem/exception.hpp>

#include "locations/folder_handles.h"
#include "platform/platform.h"
#include "update/install_entry.h"

namespace fs = boost::filesystem;

namespace {
[[noreturn]] void fail(const Entry& entry, int error = errno) {
  throwSystemError("install", entry.shownEntry, entry.shownTarget, error);
}

// EXDEV: the update lies on another file system than the installation, for every file.
bool refusesClones(int error) {
  return error == ENOTSUP || error == EOPNOTSUPP || error == ENOTTY || error == EINVAL ||
         error == ENOSYS || error == EXDEV;
}

// Opens the update's regular file without following a link or waiting on a pipe, and makes sure
// it is still the file its status describes.
Descriptor openSource(const Entry& entry) {
  Descriptor in(
      ::openat(entry.from, entry.name.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
  struct stat opened;
  if (in.fd < 0 || ::fstat(in.fd, &opened) != 0) fail(entry);
  if (opened.st_dev != entry.status.st_dev || opened.st_ino != entry.status.st_ino) {
    fail(entry, ENOENT);
  }
  return in;
}

void copyInto(const Entry& entry, int in, int folder, const std::string& at, mode_t bits) {
  Descriptor out(
      ::openat(folder, at.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (out.fd < 0) fail(entry);
  bool whole = copyFileContent(in, out.fd, entry.status.st_size) && ::fchmod(out.fd, bits) == 0;
  int error = errno;
  // A network volume may tell of a failed write only here.
  if (::close(std::exchange(out.fd, -1)) != 0 && whole) {
    whole = false;
    error = errno;
  }
  if (whole) return;
  // Never a part of the file where a whole one is looked for.
  ::unlinkat(folder, at.c_str(), 0);
  fail(entry, error);
}

InstallPath makeFile(const Entry& entry, int folder, const std::string& at, mode_t bits) {
  Descriptor in;
  // A file system that refused one clone refuses them all: the other files are spared the try.
  static std::optional<dev_t> noClones;
  if (noClones != entry.status.st_dev) {
    in = openSource(entry);
    if (cloneFile(in.fd, folder, at, bits)) return InstallPath::clone;
    if (refusesClones(errno)) noClones = entry.status.st_dev;
  }
  // A second name of the update's file, which nobody writes or gives other bits to, and which
  // lives on alone once the update folder is gone: only for a file of the launcher's user with
  // no name elsewhere, so that it is the installation's own and its owner does not depend on
  // how its bytes came.
  static const uid_t user = ::geteuid();  // the launcher never changes it
  const auto& status = entry.status;
  // Nor for one carrying an attribute the installed file must not keep: taking it off would
  // change the update's file too.
  if (entry.shareable && (status.st_mode & 07777) == bits && status.st_nlink == 1 &&
      status.st_uid == user && !carriesRejectedAttributeAt(entry.from, entry.name) &&
      ::linkat(entry.from, entry.name.c_str(), folder, at.c_str(), 0) == 0) {
    return InstallPath::hardLink;
  }
  if (in.fd < 0) in = openSource(entry);
  copyInto(entry, in.fd, folder, at, bits);
  return InstallPath::copy;
}
}  // namespace

InstallPath makeEntry(const Entry& entry, int folder, const std::string& at) {
  const auto type = entry.status.st_mode & S_IFMT;
  if (type == S_IFLNK) {
    std::string text;
    if (!readLink(entry.from, entry.name, text) ||
        ::symlinkat(text.c_str(), folder, at.c_str()) != 0) {
      fail(entry);
    }
    return InstallPath::symlink;
  }
  // Opening a named pipe would wait for a writer for ever, a device would be read without end.
  if (type != S_IFREG) {
    throw fs::filesystem_error(
        "not a regular file", entry.shownEntry, entry.shownTarget,
        boost::system::errc::make_error_code(boost::system::errc::not_supported));
  }
  return makeFile(entry, folder, at, entry.mode.value_or(entry.status.st_mode) & 07777);
}
