#include "update/update.h"

// Applying updates arrives with the live update; until then a staged update is only discarded.
void copyUpdateFolder(const boost::filesystem::path&) {}
