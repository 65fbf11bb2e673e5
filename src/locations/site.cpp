#include <fcntl.h>

#include <cstdint>
#include <ios>
#include <limits>
#include <locale>
#include <stdexcept>

#include <boost/algorithm/string/case_conv.hpp>
#include <boost/algorithm/string/classification.hpp>
#include <boost/algorithm/string/trim.hpp>
#include <boost/filesystem/operations.hpp>

#include "locations/site.h"
#include "platform/platform.h"

namespace fs = boost::filesystem;

std::string getServerDatEnv(const fs::path& appFolder) {
  const auto file = appFolder / "server.dat";
  if (!fs::exists(file)) return {};
  return parseServerDat(readWholeFile(file));
}

std::string parseServerDat(std::string content) {
  // The POSIX space class, whatever the user's locale says.
  boost::algorithm::trim_if(content, boost::algorithm::is_any_of(" \t\n\v\f\r"));
  const auto separator = content.find("::");
  if (separator == std::string::npos) return {};
  return boost::algorithm::to_lower_copy(content.substr(0, separator), std::locale::classic());
}

std::string readWholeFile(const fs::path& file) {
  // Asking for the size first refuses anything but a regular file before it is opened:
  // opening a named pipe would wait for a writer for ever.
  const auto size = fs::file_size(file);
  if (size > static_cast<std::uintmax_t>(std::numeric_limits<std::streamsize>::max())) {
    throw std::length_error("File size exceeds max read size");
  }
  const Descriptor in(::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (in.fd < 0) throwSystemError("cannot open file", file);
  std::string content;
  content.reserve(static_cast<std::size_t>(size));
  if (!readAll(in.fd, content)) throwSystemError("cannot read file", file);
  return content;
}
