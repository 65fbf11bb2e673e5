#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>

#include <boost/filesystem/operations.hpp>

#include "locations/temporary_names.h"

namespace fs = boost::filesystem;

namespace {
const std::string kPrefix = ".launcher-";
const std::string kSuffix = ".tmp";
constexpr std::size_t kRandomLength = 12;
}  // namespace

std::uint64_t temporaryNameSeed() {
  return std::stoull(fs::unique_path("%%%%%%%%%%%%%%%%").string(), nullptr, 16);
}

std::string nextTemporaryName(std::uint64_t& names) {
  // The seed with a counter mixed in (splitmix64): names nobody can foresee, without a system
  // call for each. Of fixed length: the entry's own name may use up all a name can hold.
  std::uint64_t z = (names += 0x9e3779b97f4a7c15ULL);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  z ^= z >> 31;
  char random[kRandomLength + 1];
  std::snprintf(random, sizeof random, "%012llx",
                static_cast<unsigned long long>(z & 0xffffffffffffULL));
  return kPrefix + random + kSuffix;
}

bool isTemporaryName(const std::string& name) {
  if (name.size() != kPrefix.size() + kRandomLength + kSuffix.size() ||
      name.compare(0, kPrefix.size(), kPrefix) != 0 ||
      name.compare(name.size() - kSuffix.size(), kSuffix.size(), kSuffix) != 0) {
    return false;
  }
  const auto random = name.begin() + static_cast<std::ptrdiff_t>(kPrefix.size());
  return std::all_of(random, random + kRandomLength,
                     [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}
