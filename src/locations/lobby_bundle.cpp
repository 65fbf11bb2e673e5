#include <iostream>

#include "locations/locations.h"

namespace {
const std::string kRendererHelperSuffix = " Helper (Renderer).app";
}

boost::filesystem::path getLobbyFilePath() { return getCurrentAppFolder() / "Lobby.app"; }

std::string pokerAppNameFromHelper(const std::string& folderName) {
  const auto suffix = kRendererHelperSuffix.size();
  if (folderName.size() <= suffix) return {};
  if (folderName.compare(folderName.size() - suffix, suffix, kRendererHelperSuffix) != 0) return {};
  return folderName.substr(0, folderName.size() - suffix);
}

std::string getPokerAppName() {
  const auto folders = getDirContent(getLobbyFilePath() / "Contents" / "Frameworks", false, true);
  for (const auto& folder : *folders) {
    auto name = pokerAppNameFromHelper(folder.filename().string());
    if (!name.empty()) return name;
  }
  std::cout << "could not find poker app name" << std::endl;
  return {};
}
