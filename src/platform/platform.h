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

// Opens `name` in the folder `parent` as a folder of the current user that only this user can
// enter: makes it with mode 0700 when missing, narrows a looser mode. On failure the handle is
// none and errno tells why: ELOOP for a symbolic link, ENOTDIR for no folder, EPERM for another
// user's.
Descriptor openPrivateFolder(int parent, const std::string& name);

// Swaps the entries `from` in the folder `fromFolder` and `to` in `toFolder`, both present, in
// one step: no one ever sees either name empty. Returns false, with errno set, on failure;
// EINVAL, ENOTSUP or ENOSYS mean the file system cannot (exchangeRefused).
bool exchangeEntries(int fromFolder, const std::string& from, int toFolder, const std::string& to);
inline bool exchangeRefused(int error) {
  return error == EINVAL || error == ENOTSUP || error == EOPNOTSUPP || error == ENOSYS;
}

// Makes `name` in the folder `folder`, which must not exist, a copy of the open regular file `in`
// that shares its bytes (copy on write), with the mode bits `mode`. Returns false, with errno set
// and nothing at `name`, where the file system cannot.
bool cloneFile(int in, int folder, const std::string& name, mode_t mode);

// Copies the open file `in`, of `size` bytes, to the open file `out`, the fastest way the
// system offers; on macOS with its extended attributes. Returns false, with errno set, on
// failure.
bool copyFileContent(int in, int out, off_t size);

// Barriers against a power cut. Each returns false, with errno set, when the system reports that
// it could not write.
// Puts every write made so far to the file system that holds the open file or folder `on` on the
// disk itself, beyond any cache.
bool flushFileSystem(int on);
// Makes every write made so far to the file system that holds `on` (its names and the open file
// `on`'s bytes) reach the disk before any write that follows.
bool orderWrites(int on);

// Lets the process hold as many open files as the system allows it: a run keeps a handle on
// every folder it changes until its last change is made.
void allowManyOpenFiles();

// Whether a file installed into the bundle keeps the extended attribute `name`, as the system
// lists it (Linux puts a namespace before it: "user.").
bool keepsExtendedAttribute(const char* name);
// The names of the extended attributes of the open file `fd`, each ended by a NUL; none where
// the file system keeps none. Returns false, with errno set, on failure.
bool listExtendedAttributes(int fd, std::string& names);
// Removes the extended attribute `name` from the open file `fd`, which need not hold it. Returns
// false, with errno set, on failure.
bool removeExtendedAttribute(int fd, const char* name);
// Takes every extended attribute that `keeps` refuses off the open file `fd`: for a new file that
// came with another's attributes (a clone). Returns false, with errno set, on failure.
bool dropRejectedAttributes(int fd, bool (*keeps)(const char*) = keepsExtendedAttribute);
// Whether the open file `fd` holds an extended attribute that `keeps` refuses, so that no second
// name of it may be installed; true as well when its attributes cannot be listed.
bool carriesRejectedAttribute(int fd, bool (*keeps)(const char*) = keepsExtendedAttribute);
// The same for the entry `name` in the open folder `folder`, not following a link.
bool carriesRejectedAttributeAt(int folder, const std::string& name);

// Where an entry named `given` exists in the open folder `folder`: the name its listing stores
// for it, which is spelled otherwise on a volume that ignores case (or, on macOS, Unicode
// normalisation). Returns false, with errno set, when there is no such entry (ENOENT) or the
// folder cannot be read. Where the spelling may differ, tell entries apart by this name: a FUSE
// volume such as exfat-fuse gives each spelling looked up its own inode number.
bool storedName(int folder, const std::string& given, std::string& stored);
