#include <fcntl.h>
#include <stdio.h>

#include "platform/platform.h"

bool exchangeEntries(const boost::filesystem::path& a, const boost::filesystem::path& b) {
  return ::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE) == 0;
}
