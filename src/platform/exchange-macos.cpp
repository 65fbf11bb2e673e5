#include <stdio.h>

#include "platform/platform.h"

bool exchangeEntries(int fromFolder, const std::string& from, int toFolder, const std::string& to) {
  // APFS swaps the two in one step; other volumes answer ENOTSUP.
  return ::renameatx_np(fromFolder, from.c_str(), toFolder, to.c_str(), RENAME_SWAP) == 0;
}
