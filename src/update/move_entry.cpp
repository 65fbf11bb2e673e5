#include <boost/filesystem/directory.hpp>
#include <boost/filesystem/operations.hpp>

#include "update/update.h"

namespace fs = boost::filesystem;

namespace {
// A whole copy of `from` at the free name `to`, with the same mode bits and link texts.
void copyEntry(const fs::path& from, const fs::path& to) {
  const auto status = fs::symlink_status(from);
  if (fs::is_symlink(status)) {
    fs::copy_symlink(from, to);
  } else if (fs::is_directory(status)) {
    fs::create_directory(to);
    for (fs::directory_iterator it(from), end; it != end; ++it) {
      copyEntry(it->path(), to / it->path().filename());
    }
    // Last, so that a read-only folder can still be filled.
    fs::permissions(to, status.permissions());
  } else {
    copyRegularFile(from, to);  // which refuses anything but a regular file
  }
}
}  // namespace

void moveEntry(const fs::path& from, const fs::path& to) {
  boost::system::error_code error;
  fs::rename(from, to, error);
  if (!error) return;
  if (error != boost::system::errc::cross_device_link) {
    throw fs::filesystem_error("boost::filesystem::rename", from, to, error);
  }

  // Another file system: copy under a temporary name beside `to`, so that a failure half-way
  // never leaves a truncated copy where a restore would take it for the old version.
  const auto temporary =
      to.parent_path() / fs::unique_path("." + to.filename().string() + ".%%%%%%%%.moving");
  try {
    copyEntry(from, temporary);
    fs::rename(temporary, to);
  } catch (...) {
    boost::system::error_code ignored;
    fs::remove_all(temporary, ignored);
    throw;
  }
  // The complete copy stays at `to` even when the original cannot go.
  if (fs::is_directory(fs::symlink_status(from))) {
    fs::remove_all(from);
  } else {
    fs::remove(from);
  }
}
