#include "main/arguments.h"

bool hasArgument(const std::string& name, int argc, const char* const* argv) {
  if (argv == nullptr) return false;
  for (int i = 1; i < argc; ++i) {
    if (name == argv[i]) return true;
  }
  return false;
}

std::string getArgumentValue(const std::string& name, int argc, const char* const* argv) {
  if (argv == nullptr) return {};
  for (int i = 1; i < argc - 1; ++i) {
    if (name == argv[i]) return argv[i + 1];
  }
  return {};
}

std::string getArgumentByPattern(const std::string& prefix, int argc, const char* const* argv) {
  if (argv == nullptr) return {};
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument.compare(0, prefix.size(), prefix) == 0) return argument;
  }
  return {};
}
