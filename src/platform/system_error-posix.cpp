#include <boost/filesystem/exception.hpp>

#include "platform/platform.h"

namespace fs = boost::filesystem;

void throwSystemError(const std::string& what, const fs::path& path, int error) {
  throw fs::filesystem_error(what, path,
                             boost::system::error_code(error, boost::system::system_category()));
}

void throwSystemError(const std::string& what, const fs::path& path, const fs::path& other,
                      int error) {
  throw fs::filesystem_error(what, path, other,
                             boost::system::error_code(error, boost::system::system_category()));
}
