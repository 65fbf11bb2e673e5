#pragma once

#include <cstdint>
#include <string>

// The names under which the launcher makes an entry before it renames it into place.

// The random start of a run's temporary names.
std::uint64_t temporaryNameSeed();

// A fresh temporary name, the next after `names`.
std::string nextTemporaryName(std::uint64_t& names);

// Whether `name` is one that `nextTemporaryName` gives.
bool isTemporaryName(const std::string& name);
