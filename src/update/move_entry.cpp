#include <boost/filesystem/directory.hpp>
#include <boost/filesystem/operations.hpp>

#include "update/update.h"

namespace fs = boost::filesystem;

namespace {
// A whole copy of the folder `from` at the free name `to`, with the same mode bits and links.
void copyTree(const fs::path& from, const fs::path& to) {
  fs::create_directory(to);
  for (fs::directory_iterator it(from), end; it != end; ++it) {
    const auto copy = to / it->path().filename();
    if (fs::is_directory(it->symlink_status())) {
      copyTree(it->path(), copy);
    } else {
      installEntry(it->path(), copy);
    }
  }
  // Last, so that a read-only folder can still be filled.
  fs::permissions(to, fs::symlink_status(from).permissions());
}
}  // namespace

void moveEntry(const fs::path& from, const fs::path& to) {
  boost::system::error_code error;
  fs::rename(from, to, error);
  if (!error) return;
  if (error != boost::system::errc::cross_device_link) {
    throw fs::filesystem_error("boost::filesystem::rename", from, to, error);
  }

  // Another file system: a complete copy reaches `to` by a rename, so that a failure half-way
  // never leaves a truncated one where a restore would take it for the old version. The copy
  // stays at `to` even when the original cannot go.
  if (!fs::is_directory(fs::symlink_status(from))) {
    installEntry(from, to);
    fs::remove(from);
    return;
  }
  const auto temporary = temporaryIn(to.parent_path());
  try {
    copyTree(from, temporary);
    fs::rename(temporary, to);
  } catch (...) {
    boost::system::error_code ignored;
    fs::remove_all(temporary, ignored);
    throw;
  }
  fs::remove_all(from);
}
