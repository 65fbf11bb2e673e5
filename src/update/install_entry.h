#pragma once

#include <sys/stat.h>

#include <optional>
#include <string>

#include <boost/filesystem/path.hpp>

// An entry of an update on its way into the installation: where it comes from, where it goes and
// what stands there now.
struct Entry {
  int from;            // the update's folder that holds it
  std::string name;    // its name there
  struct stat status;  // its own, not following a link
  int to;              // the installation's folder it goes to
  std::string target;  // its name there
  std::string path;    // where that is below the application folder, with no link on the way
  std::optional<struct stat> there;    // what stands at `target`, not following a link
  std::optional<mode_t> mode;          // the bits it takes, when not its own
  bool shareable;                      // its bytes may be a second name of the update's file
  boost::filesystem::path shownEntry;  // the paths that lines and errors name
  boost::filesystem::path shownTarget;
};

// How `makeEntry` made the new version.
enum class InstallPath { clone, hardLink, copy, symlink };

// Makes `at`, a free name in the folder `folder`, a complete copy of `entry`: a regular file or a
// symbolic link (never followed; anything else is refused), a file with the entry's `mode`. A
// file's bytes are shared where the file system can: a clone, or, when `shareable`, a second
// name of the update's file if the bits agree and it is this user's file with no other name. On
// failure nothing is left at `at`. A file system that refuses one clone is not asked again for
// as long as the process lives.
InstallPath makeEntry(const Entry& entry, int folder, const std::string& at);
