#include <cerrno>

#include <boost/process/args.hpp>
#include <boost/process/exception.hpp>
#include <boost/process/exe.hpp>
#include <boost/process/search_path.hpp>
#include <boost/process/spawn.hpp>

#include "lobby/lobby.h"

void spawnDetached(const std::string& program, const std::vector<std::string>& args) {
  const auto executable = boost::process::search_path(program, boost::this_process::path());
  // Given no program, the library would run the first argument in its place.
  if (executable.empty()) {
    throw boost::process::process_error(std::error_code(ENOENT, std::system_category()),
                                        program + " not found on PATH");
  }
  boost::process::spawn(boost::process::exe = executable, boost::process::args = args);
}
