#include <csignal>
#include <exception>

#include "lobby/error_dialog.h"
#include "locations/app_folder.h"
#include "main/arguments.h"
#include "main/launch.h"

int main(int argc, char* argv[]) {
  // A reader of the progress lines that goes away must not end an update half-way.
  std::signal(SIGPIPE, SIG_IGN);
  try {
    // Fixed before anything else, so that later moves of the executable change nothing.
    getCurrentAppFolder();
  } catch (const std::exception& error) {
    reportError(std::string("Error: ") + error.what());
    return -1;
  }
  const bool restart = hasArgument("--restart", argc, argv);
  const bool kill = hasArgument("--kill", argc, argv);
  const auto session = getArgumentValue("--session", argc, argv);
  const auto pokerArgument = getArgumentByPattern("poker", argc, argv);
  return realMain(restart, kill, session, pokerArgument);
}
