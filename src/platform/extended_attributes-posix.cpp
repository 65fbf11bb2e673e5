#include <cerrno>
#include <cstring>
#include <string>

#include "platform/platform.h"

bool keepsExtendedAttribute(const char* name) {
  // Finder information and a resource fork on any sealed file make `codesign --verify --strict`
  // refuse the bundle: "resource fork, Finder information, or similar detritus not allowed".
  // A quarantine mark says a download is yet to be approved. The client fetched the update
  // itself and the bundle's seal covers every file; a mark inside the bundle the user approved
  // could only bring Gatekeeper's first-launch checks back to code the seal already vouches for.
  for (const char* rejected :
       {"com.apple.FinderInfo", "com.apple.ResourceFork", "com.apple.quarantine"}) {
    if (std::strcmp(name, rejected) == 0) return false;
  }
  return true;
}

bool dropRejectedAttributes(int fd, bool (*keeps)(const char*)) {
  std::string names;
  if (!listExtendedAttributes(fd, names)) return false;
  for (const char* name = names.c_str(); name < names.c_str() + names.size();
       name += std::strlen(name) + 1) {
    if (!keeps(name) && !removeExtendedAttribute(fd, name)) return false;
  }
  return true;
}

bool carriesRejectedAttribute(int fd, bool (*keeps)(const char*)) {
  std::string names;
  if (!listExtendedAttributes(fd, names)) return true;
  for (const char* name = names.c_str(); name < names.c_str() + names.size();
       name += std::strlen(name) + 1) {
    if (!keeps(name)) return true;
  }
  return false;
}
