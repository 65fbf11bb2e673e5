#include <fcntl.h>
#include <stdio.h>

#include "platform/platform.h"

bool exchangeEntries(int fromFolder, const std::string& from, int toFolder, const std::string& to) {
  return ::renameat2(fromFolder, from.c_str(), toFolder, to.c_str(), RENAME_EXCHANGE) == 0;
}
