#pragma once

#include <sys/types.h>

#include <cerrno>
#include <cstddef>
#include <string>

#include <boost/filesystem/path.hpp>

#include "platform/descriptor.h"

// Throws the failure of a system call on `path` (and `other`) as a filesystem_error carrying
// `error`, so that every such failure reads the same way.
[[noreturn]] void throwSystemError(const std::string& what, const boost::filesystem::path& path,
                                   int error = errno);
[[noreturn]] void throwSystemError(const std::string& what, const boost::filesystem::path& path,
                                   const boost::filesystem::path& other, int error = errno);

// The absolute path of the running executable, as the system reports it.
// Throws std::runtime_error("No current process path found") when the system cannot tell.
boost::filesystem::path getExecutablePath();

// Writes all `size` bytes of `data` to `fd`; false, with errno set, when it cannot.
bool writeAll(int fd, const char* data, std::size_t size);
// Appends everything left to read from `fd` to `bytes`; false, with errno set, on failure.
bool readAll(int fd, std::string& bytes);

// Makes sure `folder` is a folder of the current user that only this user can enter: creates it
// with mode 0700 when missing, narrows a looser mode. Throws when it is a symbolic link, not a
// folder, or another user's.
void makePrivateFolder(const boost::filesystem::path& folder);

// Swaps the entries at `a` and `b`, both present, in one step: no one ever sees either path
// empty. Returns false, with errno set, on failure; EINVAL, ENOTSUP or ENOSYS mean the file
// system cannot (exchangeRefused).
bool exchangeEntries(const boost::filesystem::path& a, const boost::filesystem::path& b);
inline bool exchangeRefused(int error) {
  return error == EINVAL || error == ENOTSUP || error == EOPNOTSUPP || error == ENOSYS;
}

// Makes `to`, which must not exist, a copy of the open regular file `in` that shares its bytes
// (copy on write), with the mode bits `mode`. Returns false, with errno set and nothing at `to`,
// where the file system cannot.
bool cloneFile(int in, const boost::filesystem::path& to, mode_t mode);

// Copies the open file `in`, of `size` bytes, to the open file `out`, the fastest way the
// system offers; on macOS with its extended attributes. Returns false, with errno set, on
// failure.
bool copyFileContent(int in, int out, off_t size);
