#include <cerrno>
#include <csignal>
#include <cstdlib>

#include <boost/algorithm/string/split.hpp>

#include "lobby/spawn_detached.h"
#include "platform/boost_process.h"

namespace {
// PATH's absolute folders, read directly: boost::this_process::path() builds a locale from the
// environment first, which costs every start a tenth of its time. An empty or relative entry
// would name the working folder, where anyone may have left a program of that name.
std::vector<boost::filesystem::path> pathFolders() {
  const char* path = std::getenv("PATH");
  std::vector<std::string> entries;
  if (path) boost::algorithm::split(entries, path, [](char c) { return c == ':'; });
  std::vector<boost::filesystem::path> folders;
  for (const auto& entry : entries) {
    if (!entry.empty() && entry.front() == '/') folders.emplace_back(entry);
  }
  return folders;
}
}  // namespace

void spawnDetached(const std::string& program, const std::vector<std::string>& args) {
  const auto executable = bp::search_path(program, pathFolders());
  // Given no program, the library would run the first argument in its place.
  if (executable.empty()) {
    throw bp::process_error(std::error_code(ENOENT, std::system_category()),
                            program + " not found on PATH");
  }
  // The launcher ignores SIGPIPE for itself; the programs it starts get the usual behaviour.
  bp::spawn(
      bp::exe = executable, bp::args = args,
      bp::extend::on_exec_setup = [](auto&) { ::signal(SIGPIPE, SIG_DFL); });
}
