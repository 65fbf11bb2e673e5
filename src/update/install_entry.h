#pragma once

#include <sys/stat.h>

#include <optional>

#include <boost/filesystem/file_status.hpp>
#include <boost/filesystem/path.hpp>

// How `makeEntry` made the new version.
enum class InstallPath { clone, hardLink, copy, symlink };

// Makes at the free name `at` a complete copy of `source`, a regular file or a symbolic link
// (never followed; anything else is refused), a file with the mode bits `mode` or else its own.
// A file's bytes are shared where the file system can: a clone, or, when `shareable`, a second
// name of `source` if the bits agree and it is this user's file with no other name. On failure
// nothing is left at `at`. A file system that refuses one clone is not asked again for as long
// as the process lives.
InstallPath makeEntry(const boost::filesystem::path& source, const boost::filesystem::path& at,
                      std::optional<boost::filesystem::perms> mode = std::nullopt,
                      bool shareable = false);
// The same for a `source` whose `lstat` the caller has just read; a file is checked to be the
// same one when it is opened.
InstallPath makeEntry(const boost::filesystem::path& source, const struct stat& status,
                      const boost::filesystem::path& at,
                      std::optional<boost::filesystem::perms> mode, bool shareable);

// The same at the free name `temporary` beside `target`, then renamed over `target`: `target`
// holds what it held or the whole new version, never anything in between.
InstallPath installEntry(const boost::filesystem::path& source, const struct stat& status,
                         const boost::filesystem::path& target,
                         const boost::filesystem::path& temporary,
                         std::optional<boost::filesystem::perms> mode, bool shareable);
