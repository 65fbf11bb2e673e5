#include <algorithm>

#include "update/update.h"

namespace fs = boost::filesystem;

fs::path changePathBase(const fs::path& path, const fs::path& oldBase, const fs::path& newBase) {
  auto rest = path.string();
  // The base's own length plus the separator that follows it.
  rest.erase(0, std::min(rest.size(), oldBase.string().size() + 1));
  auto rebased = newBase;
  if (!rest.empty()) rebased /= rest;
  return rebased;
}

fs::path withAsarRename(const fs::path& target) {
  // By hand rather than through path::extension(), whose rule for names that begin with a dot
  // differs between Boost releases.
  static const std::string kDelivered = ".asar_tmp";
  const auto name = target.filename().string();
  const auto dot = name.rfind('.');
  if (dot == std::string::npos || name.compare(dot, std::string::npos, kDelivered) != 0) {
    return target;
  }
  return target.parent_path() / (name.substr(0, dot) + ".asar");
}
