#pragma once

#include <cstdint>
#include <string>

#include <boost/filesystem/path.hpp>

// The names under which the launcher makes an entry before it renames it into place.

// The random start of a run's temporary names.
std::uint64_t temporaryNameSeed();

// A fresh temporary name in `folder`, the next after `names`.
boost::filesystem::path temporaryIn(const boost::filesystem::path& folder, std::uint64_t& names);

// Whether `name` is one that `temporaryIn` gives.
bool isTemporaryName(const std::string& name);
