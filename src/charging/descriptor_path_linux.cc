#include "charging/descriptor_path.h"

#include <limits.h>
#include <unistd.h>

#include <array>

std::string descriptorPath(int fd) {
  std::array<char, PATH_MAX> path;  // NOLINT(cppcoreguidelines-pro-type-member-init): readlink fills it
  const std::string link = "/proc/self/fd/" + std::to_string(fd);
  const ssize_t length = readlink(link.c_str(), path.data(), path.size());
  return length > 0 && static_cast<std::size_t>(length) < path.size()
             ? std::string(path.data(), static_cast<std::size_t>(length))
             : std::string();
}
