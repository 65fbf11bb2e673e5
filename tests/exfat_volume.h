#pragma once

#include <string>

#include <boost/filesystem/path.hpp>

// Mounts a fresh 64 MiB exFAT volume on a loop device through FUSE at `mountPoint` (made here), as
// a Mac's exFAT disk. Returns why it cannot (root, /dev/fuse, loop devices, the tools), or "".
std::string mountExfat(const boost::filesystem::path& mountPoint);
void unmountExfat(const boost::filesystem::path& mountPoint);
