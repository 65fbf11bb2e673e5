#include <stdio.h>

#include "platform/platform.h"

bool exchangeEntries(int fromFolder, const std::string& from, int toFolder, const std::string& to) {
  // Only APFS swaps the two in one step; HFS+ takes no rename flag but RENAME_EXCL and answers
  // ENOTSUP, as the other volumes do.
  return ::renameatx_np(fromFolder, from.c_str(), toFolder, to.c_str(), RENAME_SWAP) == 0;
}
