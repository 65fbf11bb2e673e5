#include <stdio.h>

#include "platform/platform.h"

bool exchangeEntries(const boost::filesystem::path& a, const boost::filesystem::path& b) {
  // APFS and HFS+ swap the two in one step; other volumes answer ENOTSUP.
  return ::renamex_np(a.c_str(), b.c_str(), RENAME_SWAP) == 0;
}
