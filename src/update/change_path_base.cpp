#include <algorithm>

#include "update/change_path_base.h"

namespace fs = boost::filesystem;

fs::path changePathBase(const fs::path& path, const fs::path& oldBase, const fs::path& newBase) {
  auto rest = path.string();
  // The base's own length plus the separator that follows it.
  rest.erase(0, std::min(rest.size(), oldBase.string().size() + 1));
  auto rebased = newBase;
  if (!rest.empty()) rebased /= rest;
  return rebased;
}
