#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

#include <boost/filesystem/exception.hpp>
#include <boost/filesystem/operations.hpp>

#include "platform/platform.h"
#include "update/install_entry.h"

namespace fs = boost::filesystem;

namespace {
struct Descriptor {
  int fd;
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
};

[[noreturn]] void fail(const fs::path& from, const fs::path& to, int error = errno) {
  throwSystemError("install", from, to, error);
}

bool refusesClones(int error) {
  return error == ENOTSUP || error == EOPNOTSUPP || error == ENOTTY || error == EINVAL ||
         error == ENOSYS;
}

// Opens the regular file `source` without following a link or waiting on a pipe, and makes sure
// it is still the file that `status` describes.
int openSource(const fs::path& source, const struct stat& status, const fs::path& temporary) {
  const int fd = ::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  struct stat opened;
  if (fd < 0 || ::fstat(fd, &opened) != 0) fail(source, temporary);
  if (opened.st_dev != status.st_dev || opened.st_ino != status.st_ino) {
    ::close(fd);
    fail(source, temporary, ENOENT);
  }
  return fd;
}

void copyInto(int in, off_t size, const fs::path& source, const fs::path& temporary, mode_t bits) {
  const int out =
      ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (out < 0) fail(source, temporary);
  bool whole = copyFileContent(in, out, size) && ::fchmod(out, bits) == 0;
  int error = errno;
  if (::close(out) != 0 && whole) {
    whole = false;
    error = errno;
  }
  if (whole) return;
  // Never a part of the file where a whole one is looked for.
  ::unlink(temporary.c_str());
  fail(source, temporary, error);
}

// The regular file `source` at the free name `temporary`, complete and with the mode `bits`.
InstallPath makeFile(const fs::path& source, const struct stat& status, const fs::path& temporary,
                     mode_t bits, bool shareable) {
  Descriptor in{-1};
  // A file system that refused one clone refuses them all: the other files are spared the try.
  static std::optional<dev_t> noClones;
  if (noClones != status.st_dev) {
    in.fd = openSource(source, status, temporary);
    if (cloneFile(in.fd, temporary, bits)) return InstallPath::clone;
    if (refusesClones(errno)) noClones = status.st_dev;
  }
  // A second name of the update's file, which nobody writes or gives other bits to, and which
  // lives on alone once the update folder is gone: only for a file of the launcher's user with
  // no name elsewhere, so that it is the installation's own and its owner does not depend on
  // how its bytes came.
  static const uid_t user = ::geteuid();  // the launcher never changes it
  if (shareable && (status.st_mode & 07777) == bits && status.st_nlink == 1 &&
      status.st_uid == user &&
      ::linkat(AT_FDCWD, source.c_str(), AT_FDCWD, temporary.c_str(), 0) == 0) {
    return InstallPath::hardLink;
  }
  if (in.fd < 0) in.fd = openSource(source, status, temporary);
  copyInto(in.fd, status.st_size, source, temporary, bits);
  return InstallPath::copy;
}
}  // namespace

InstallPath makeEntry(const fs::path& source, const struct stat& status, const fs::path& at,
                      std::optional<fs::perms> mode, bool shareable) {
  // Opening a named pipe would wait for a writer for ever, a device would be read without end.
  if (!S_ISREG(status.st_mode) && !S_ISLNK(status.st_mode)) {
    throw fs::filesystem_error(
        "not a regular file", source, at,
        boost::system::errc::make_error_code(boost::system::errc::not_supported));
  }
  if (S_ISLNK(status.st_mode)) {
    fs::copy_symlink(source, at);
    return InstallPath::symlink;
  }
  const mode_t bits = mode ? static_cast<mode_t>(*mode) & 07777 : status.st_mode & 07777;
  return makeFile(source, status, at, bits, shareable);
}

InstallPath makeEntry(const fs::path& source, const fs::path& at, std::optional<fs::perms> mode,
                      bool shareable) {
  struct stat status;
  if (::lstat(source.c_str(), &status) != 0) fail(source, at);
  return makeEntry(source, status, at, mode, shareable);
}

InstallPath installEntry(const fs::path& source, const struct stat& status, const fs::path& target,
                         const fs::path& temporary, std::optional<fs::perms> mode, bool shareable) {
  const auto made = makeEntry(source, status, temporary, mode, shareable);
  if (::rename(temporary.c_str(), target.c_str()) != 0) {
    const int error = errno;
    ::unlink(temporary.c_str());
    fail(source, target, error);
  }
  return made;
}
