#include "charging/band_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <string>
#include <string_view>

#include "smc/platform.h"

namespace {

/// "LOWER UPPER" up to the line feed at `at`, which it moves past.
std::optional<Band> bandLine(std::string_view& text) {
  const auto end = static_cast<std::size_t>(std::find(text.begin(), text.end(), '\n') - text.begin());
  const auto space = static_cast<std::size_t>(std::find(text.begin(), text.end(), ' ') - text.begin());
  if (end == text.size() || space > end) return std::nullopt;
  const auto band = parseBand(text.substr(0, space), text.substr(space + 1, end - space - 1));
  text.remove_prefix(end + 1);
  return band;
}

/// The file's text: "LOWER UPPER\n" of `band`, then of `arguments`.
std::string fileText(Band band, Band arguments) {
  std::array<char, 32> text{};
  char* at = text.data();
  const char separators[] = {' ', '\n', ' ', '\n'};  // NOLINT(*-avoid-c-arrays)
  const int numbers[] = {band.lower, band.upper, arguments.lower, arguments.upper};  // NOLINT(*-avoid-c-arrays)
  for (std::size_t i = 0; i < 4; ++i) {
    at = std::to_chars(at, text.data() + text.size(), numbers[i]).ptr;  // NOLINT(*-pointer-arithmetic)
    *at++ = separators[i];  // NOLINT(*-pointer-arithmetic): 4 numbers of 3 digits fit
  }
  return {text.data(), at};
}

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
  const std::string text = fileText(band, arguments);
  const std::string next = std::string(path) + ".new";
  // The folder is root's, so no one else can have put anything at `next`;
  // O_NOFOLLOW refuses a link all the same.
  const int fd = open(next.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd == -1) return false;
  // Without fsync: a crash before the text reaches the disk leaves a file
  // that savedBand refuses, and the holder holds its arguments' band.
  const bool written = fchmod(fd, 0644) == 0 && write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  const bool closed = close(fd) == 0;
  if (!written || !closed || rename(next.c_str(), path) != 0) {
    unlink(next.c_str());
    return false;
  }
  return true;
}
