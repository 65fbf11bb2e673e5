#pragma once

#include <unistd.h>

#include <utility>

// Owns one open file descriptor and closes it when it goes: every handle the launcher opens is
// held by one of these, so no path out of a function, an exception's included, leaks it.
struct Descriptor {
  int fd = -1;

  Descriptor() = default;
  explicit Descriptor(int owned) : fd(owned) {}
  Descriptor(Descriptor&& other) noexcept : fd(std::exchange(other.fd, -1)) {}
  Descriptor& operator=(Descriptor&& other) noexcept {
    std::swap(fd, other.fd);
    return *this;
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
};
