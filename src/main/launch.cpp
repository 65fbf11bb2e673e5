#include <exception>

#include <boost/filesystem/operations.hpp>

#include "lobby/error_dialog.h"
#include "lobby/run_lobby.h"
#include "lobby/time_tracking.h"
#include "locations/app_folder.h"
#include "main/instance_lock.h"
#include "main/launch.h"
#include "main/restart_wait.h"
#include "main/update_folders.h"
#include "update/copy_update_folder.h"
#include "update/electron_repair.h"

namespace {
int launch(const boost::filesystem::path& appFolder, bool restart, bool kill,
           const std::string& session, const std::string& pokerArgument) {
  const auto lock = lockSingleInstance(appFolder);

  const auto numbers = findUpdateNumbers(appFolder);
  const auto newest = newestUpdate(numbers);
  const bool updatePending = !newest.empty();

  if (restart || kill || updatePending) restartWait();
  if (kill) return 0;

  // An update cut short is undone, or finished, before anything else changes.
  recoverInterruptedUpdate(appFolder);
  // A whole old update must not hold disk space for ever.
  removeLeftoverOldUpdates(appFolder);

  if (updatePending) {
    disposeOfStaleUpdates(appFolder, numbers, newest);
    const auto updateFolder = getUpdateFolderPath(appFolder, newest);
    copyUpdateFolder(appFolder, updateFolder);
    boost::filesystem::remove_all(updateFolder);
  }

  writeTimeTrackingFile();
  try {
    fixElectronUpdate(appFolder);
  } catch (...) {
    // A bundle that could not be repaired may still start.
  }
  runLobby(appFolder, session, pokerArgument);
  return 0;
}
}  // namespace

int realMain(bool restart, bool kill, const std::string& session,
             const std::string& pokerArgument) {
  try {
    // The lock lives inside launch(), so it is free again before the dialog shows.
    return launch(getCurrentAppFolder(), restart, kill, session, pokerArgument);
  } catch (const std::exception& error) {
    reportError(std::string("Error: ") + error.what());
    return -1;
  }
}
