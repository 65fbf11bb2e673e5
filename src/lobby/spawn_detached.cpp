#include <cerrno>

#include "lobby/boost_process.h"
#include "lobby/lobby.h"

void spawnDetached(const std::string& program, const std::vector<std::string>& args) {
  const auto executable = bp::search_path(program, boost::this_process::path());
  // Given no program, the library would run the first argument in its place.
  if (executable.empty()) {
    throw bp::process_error(std::error_code(ENOENT, std::system_category()),
                            program + " not found on PATH");
  }
  bp::spawn(bp::exe = executable, bp::args = args);
}
