#include <cerrno>
#include <cstdlib>

#include <boost/algorithm/string/split.hpp>

#include "lobby/boost_process.h"
#include "lobby/lobby.h"

namespace {
// PATH's folders, read directly: boost::this_process::path() builds a locale from the
// environment first, which costs every start a tenth of its time.
std::vector<boost::filesystem::path> pathFolders() {
  const char* path = std::getenv("PATH");
  std::vector<std::string> folders;
  if (path) boost::algorithm::split(folders, path, [](char c) { return c == ':'; });
  return {folders.begin(), folders.end()};
}
}  // namespace

void spawnDetached(const std::string& program, const std::vector<std::string>& args) {
  const auto executable = bp::search_path(program, pathFolders());
  // Given no program, the library would run the first argument in its place.
  if (executable.empty()) {
    throw bp::process_error(std::error_code(ENOENT, std::system_category()),
                            program + " not found on PATH");
  }
  bp::spawn(bp::exe = executable, bp::args = args);
}
