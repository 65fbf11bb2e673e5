#include <copyfile.h>

#include <cerrno>

#include "platform/platform.h"

namespace {
// Leaves out an attribute that an installed file must not keep, and one the destination refuses,
// so that one attribute never fails the whole copy. A failed write of the bytes ends the copy:
// going on would retry it forever.
int copyStatus(int what, int stage, copyfile_state_t state, const char*, const char*, void*) {
  if (what != COPYFILE_COPY_XATTR) return stage == COPYFILE_ERR ? COPYFILE_QUIT : COPYFILE_CONTINUE;
  if (stage == COPYFILE_ERR) return COPYFILE_SKIP;
  const char* name = nullptr;
  if (stage == COPYFILE_START &&
      ::copyfile_state_get(state, COPYFILE_STATE_XATTRNAME, &name) == 0 && name != nullptr &&
      !keepsExtendedAttribute(name)) {
    return COPYFILE_SKIP;
  }
  return COPYFILE_CONTINUE;
}
}  // namespace

bool copyFileContent(int in, int out, off_t) {
  const copyfile_state_t state = ::copyfile_state_alloc();
  if (state == nullptr) return false;
  // The extended attributes come along, as they do with a clone.
  const bool copied = ::copyfile_state_set(state, COPYFILE_STATE_STATUS_CB,
                                           reinterpret_cast<const void*>(&copyStatus)) == 0 &&
                      ::fcopyfile(in, out, state, COPYFILE_DATA | COPYFILE_XATTR) == 0;
  const int error = errno;
  ::copyfile_state_free(state);
  errno = error;
  // copyfile passes the source's quarantine mark on apart from the other attributes.
  return copied && dropRejectedAttributes(out);
}
