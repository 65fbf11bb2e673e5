#include <fcntl.h>
#include <sys/attr.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "platform/platform.h"

bool storedName(int folder, const std::string& given, std::string& stored) {
  // The volume reports the name it stores, as realpath(3) uses it to find a path's true case.
  attrlist request{};
  request.bitmapcount = ATTR_BIT_MAP_COUNT;
  request.commonattr = ATTR_CMN_NAME;
  struct {
    std::uint32_t length;
    attrreference_t name;
    char bytes[NAME_MAX * 3 + 1];  // a UTF-8 name of NAME_MAX characters
  } __attribute__((aligned(4), packed)) reply;
  if (::getattrlistat(folder, given.c_str(), &request, &reply, sizeof reply, FSOPT_NOFOLLOW) == 0) {
    const char* name = reinterpret_cast<const char*>(&reply.name) + reply.name.attr_dataoffset;
    const char* end = reinterpret_cast<const char*>(&reply) + sizeof reply;
    stored.assign(name, ::strnlen(name, std::min<std::size_t>(reply.name.attr_length, end - name)));
    return true;
  }
  // Where the volume cannot report names, the name as given.
  if (errno != ENOTSUP && errno != EINVAL) return false;
  struct stat entry;
  if (::fstatat(folder, given.c_str(), &entry, AT_SYMLINK_NOFOLLOW) != 0) return false;
  stored = given;
  return true;
}
