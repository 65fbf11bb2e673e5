#pragma once

#include <string>

bool hasArgument(const std::string& name, int argc, const char* const* argv);

// The argument after `name`; empty when `name` is absent or last.
std::string getArgumentValue(const std::string& name, int argc, const char* const* argv);

// The first argument that begins with `prefix`, whole.
std::string getArgumentByPattern(const std::string& prefix, int argc, const char* const* argv);
