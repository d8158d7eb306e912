#include "charging/descriptor_path.h"

#include <fcntl.h>
#include <sys/param.h>

#include <array>

std::string descriptorPath(int fd) {
  std::array<char, MAXPATHLEN> path{};
  return fcntl(fd, F_GETPATH, path.data()) == 0 ? std::string(path.data()) : std::string();
}
