#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <vector>

#include "platform/platform.h"

bool storedName(int folder, const std::string& given, std::string& stored) {
  struct stat entry;
  if (::fstatat(folder, given.c_str(), &entry, AT_SYMLINK_NOFOLLOW) != 0) return false;
  // A listing of its own, so that the caller's handle keeps its place.
  const int fd = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const std::unique_ptr<DIR, int (*)(DIR*)> listing(::fdopendir(fd), ::closedir);
  if (!listing) {
    const int error = errno;
    ::close(fd);
    errno = error;
    return false;
  }
  // The entry is the listed one with its inode number. FUSE volumes such as exfat-fuse number
  // each spelling looked up apart and list no numbers: there, the one listed the same but for
  // ASCII case.
  std::string sameInode;
  std::vector<std::string> sameLetters;
  errno = 0;
  while (const dirent* listed = ::readdir(listing.get())) {
    if (given == listed->d_name) {
      stored = given;
      return true;
    }
    const bool letters = ::strcasecmp(listed->d_name, given.c_str()) == 0;
    if (listed->d_ino == entry.st_ino && (letters || sameInode.empty())) {
      sameInode = listed->d_name;
    }
    if (letters) sameLetters.emplace_back(listed->d_name);
  }
  if (errno != 0) return false;
  if (sameInode.empty() && sameLetters.size() != 1) {
    errno = ENOENT;
    return false;
  }
  stored = sameInode.empty() ? sameLetters.front() : sameInode;
  return true;
}
