#include <iostream>

#include "locations/dir_content.h"
#include "locations/lobby_bundle.h"

namespace {
const std::string kRendererHelperSuffix = " Helper (Renderer).app";
}

boost::filesystem::path getLobbyFilePath(const boost::filesystem::path& appFolder) {
  return appFolder / "Lobby.app";
}

std::string pokerAppNameFromHelper(const std::string& folderName) {
  const auto suffix = kRendererHelperSuffix.size();
  if (folderName.size() <= suffix) return {};
  if (folderName.compare(folderName.size() - suffix, suffix, kRendererHelperSuffix) != 0) return {};
  return folderName.substr(0, folderName.size() - suffix);
}

std::string getPokerAppName(const boost::filesystem::path& appFolder) {
  // The walk stops at the first helper: every start runs this, and a framework holds many files.
  std::string name;
  visitFolders(getLobbyFilePath(appFolder) / kFrameworksFolder,
               [&name](const boost::filesystem::path& folder) {
                 name = pokerAppNameFromHelper(folder.filename().string());
                 return name.empty();
               });
  if (name.empty()) std::cout << "could not find poker app name" << std::endl;
  return name;
}
