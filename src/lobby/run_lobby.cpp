#include <iomanip>
#include <sstream>
#include <stdexcept>

#include <boost/filesystem/operations.hpp>

#include "lobby/run_lobby.h"
#include "lobby/spawn_detached.h"
#include "locations/app_folder.h"
#include "locations/lobby_bundle.h"
#include "locations/site.h"
#include "platform/boost_process.h"

void runLobby(const boost::filesystem::path& appFolder, const std::string& session,
              const std::string& pokerArgument) {
  std::vector<std::string> args{"launcher=launcher", "--storageFolder",
                                getStorageFolderPath(appFolder).string()};
  const auto siteEnvironment = getServerDatEnv(appFolder);
  if (!siteEnvironment.empty()) args.insert(args.end(), {"--siteenv", siteEnvironment});
  if (!session.empty()) args.insert(args.end(), {"--session", session});
  if (!pokerArgument.empty()) args.push_back(pokerArgument);

  const auto lobby = getLobbyFilePath(appFolder);
  if (!boost::filesystem::exists(lobby)) {
    std::ostringstream message;
    message << std::quoted(lobby.string(), '"', '&') << " not found";
    throw std::runtime_error(message.str());
  }

  args.insert(args.begin(), {lobby.string(), "--args"});
  try {
    spawnDetached("open", args);
  } catch (const bp::process_error& error) {
    std::ostringstream message;
    message << "Error running lobby: " << error.code();
    throw std::runtime_error(message.str());
  }
}
