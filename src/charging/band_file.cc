#include "charging/band_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <string>
#include <string_view>

#include "smc/platform.h"

namespace {

/// "LOWER UPPER" up to the line feed at `at`, which it moves past.
std::optional<Band> bandLine(std::string_view& text) {
  const std::size_t end = text.find('\n');
  const std::size_t space = text.find(' ');
  if (end == std::string_view::npos || space > end) return std::nullopt;
  const auto band = parseBand(text.substr(0, space), text.substr(space + 1, end - space - 1));
  text.remove_prefix(end + 1);
  return band;
}

std::string bandText(Band band) { return std::to_string(band.lower) + ' ' + std::to_string(band.upper) + '\n'; }

}  // namespace

std::optional<Band> savedBand(Band arguments) {
  const char* path = holderBandPath();
  if (path == nullptr) return std::nullopt;
  const int fd = open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  struct stat status {};
  std::array<char, 32> bytes{};
  ssize_t count = -1;
  // A file that another user could have written is not the one this holder
  // saved: it is passed over, and the next change replaces it.
  if (fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_uid == geteuid() &&
      (status.st_mode & 022U) == 0) {
    count = read(fd, bytes.data(), bytes.size());
  }
  if (fd != -1) close(fd);
  if (count <= 0) return std::nullopt;
  std::string_view text(bytes.data(), static_cast<std::size_t>(count));
  auto band = bandLine(text);
  const auto over = bandLine(text);
  if (!band || !over || !text.empty() || over->lower != arguments.lower || over->upper != arguments.upper) {
    return std::nullopt;
  }
  band->hot = arguments.hot;
  return band;
}

bool saveBand(Band band, Band arguments) {
  const char* path = holderBandPath();
  if (path == nullptr) return true;
  const std::string text = bandText(band) + bandText(arguments);
  const std::string next = std::string(path) + ".new";
  // The folder is root's, so no one else can have put anything at `next`;
  // O_NOFOLLOW refuses a link all the same.
  const int fd = open(next.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd == -1) return false;
  const bool written = fchmod(fd, 0644) == 0 && write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) &&
                       fsync(fd) == 0;
  const bool closed = close(fd) == 0;
  if (!written || !closed || rename(next.c_str(), path) != 0) {
    unlink(next.c_str());
    return false;
  }
  return true;
}
