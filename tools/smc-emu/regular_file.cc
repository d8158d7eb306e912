#include "regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <cstring>
#include <string_view>

#include "emu_error.h"

namespace {

// As many links as the kernels follow in one path before giving up (ELOOP).
constexpr int kMaxLinks = 40;

}  // namespace

std::string fileFailure(const std::string& what, const std::string& path, int error) {
  return "cannot " + what + " " + path + ": " +
         (error == kNotRegular ? "not a regular file" : std::strerror(error));
}

std::string folderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string linkTarget(const std::string& path) {
  std::string at = path;
  std::array<char, PATH_MAX> target{};
  for (int hop = 0; hop < kMaxLinks; ++hop) {
    // Fails for a file that is no link (EINVAL) and for a missing one: `at`
    // is where the links end. A target too long to be a path ends it too,
    // for the open to report.
    const ssize_t n = readlink(at.c_str(), target.data(), target.size());
    if (n <= 0 || static_cast<std::size_t>(n) == target.size()) break;
    const std::string_view text(target.data(), static_cast<std::size_t>(n));
    at = text.front() == '/' ? std::string(text) : folderOf(at).append(text);
  }
  return at;
}

int openRegular(const std::string& path, int flags, int& error) {
  const int fd = open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC, 0666);
  struct stat status {};
  if (fd < 0) {
    // A FIFO without a reader refuses a writer (ENXIO): say what it is.
    error = errno;
    if (error == ENXIO && stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) {
      error = kNotRegular;
    }
    return -1;
  }
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    error = kNotRegular;
    close(fd);
    return -1;
  }
  return fd;
}

bool isSameFile(int fd, const std::string& path) {
  struct stat opened {};
  struct stat named {};
  return fstat(fd, &opened) == 0 && stat(path.c_str(), &named) == 0 &&
         opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

std::optional<std::string> readRegularFile(const std::string& path, const std::string& what, std::size_t most) {
  int openError = 0;
  const int fd = openRegular(path, O_RDONLY, openError);
  if (fd < 0) {
    if (openError == ENOENT) return std::nullopt;
    throw EmuError(fileFailure("read " + what, path, openError));
  }
  std::string text;
  std::array<char, 4096> buffer{};
  ssize_t n = 0;
  // One byte past the limit is enough to tell; reading on would only fill memory.
  while (text.size() <= most && (n = read(fd, buffer.data(), buffer.size())) > 0) {
    text.append(buffer.data(), static_cast<std::size_t>(n));
  }
  const int readError = errno;
  close(fd);
  if (n < 0) throw EmuError(fileFailure("read " + what, path, readError));
  if (text.size() > most) throw EmuError(what + " " + path + " is larger than " + std::to_string(most >> 20U) + " MiB");
  return text;
}
