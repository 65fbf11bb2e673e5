#include "exfat_volume.h"

#include <sys/mount.h>

#include <cstdlib>

std::string mountExfat(const boost::filesystem::path& mountPoint) {
  // The loop device, let go once mounted, goes with the volume.
  const auto at = "'" + mountPoint.string() + "'", image = "'" + mountPoint.string() + ".img'";
  const auto script = "PATH=$PATH:/usr/sbin:/sbin; mkdir " + at + " && truncate -s 64M " + image +
                      " && mkfs.exfat " + image + " && device=$(losetup -f --show " + image +
                      ") && { mount.exfat-fuse $device " + at +
                      "; s=$?; losetup -d $device; exit $s; }";
  if (std::system(("(" + script + ") >/dev/null 2>&1").c_str()) == 0) return "";
  return "no exFAT volume: it needs root, /dev/fuse, a loop device, exfatprogs and exfat-fuse";
}

void unmountExfat(const boost::filesystem::path& mountPoint) {
  if (umount(mountPoint.c_str()) != 0) umount2(mountPoint.c_str(), MNT_DETACH);
}
