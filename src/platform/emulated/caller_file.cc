#include "platform/emulated/caller_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <string_view>

namespace emu {

namespace {

/// Opens `path` with `flags`, never through a link and never waiting on a
/// FIFO; -1 unless it is a regular file.
int openPlain(const std::string& path, int flags) {
  const int fd = open(path.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
  struct stat status {};
  if (fd >= 0 && (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))) {
    close(fd);
    errno = EINVAL;
    return -1;
  }
  return fd;
}

}  // namespace

std::string callerFilePath(const std::string& prefix, std::int64_t pid) { return prefix + std::to_string(pid); }

bool writeCallerFile(const std::string& prefix, std::int64_t pid, Account account) {
  const int fd = openPlain(callerFilePath(prefix, pid), O_WRONLY | O_CREAT | O_TRUNC);
  if (fd < 0) return false;
  std::string text(accountWord(account));
  text += '\n';
  // A few bytes into an empty file: written whole or not at all.
  const ssize_t written = write(fd, text.data(), text.size());
  const int error = written < 0 ? errno : EIO;
  if (close(fd) != 0 || written != static_cast<ssize_t>(text.size())) {
    errno = error;
    return false;
  }
  return true;
}

Account readCallerFile(const std::string& prefix, std::int64_t pid) {
  const int fd = openPlain(callerFilePath(prefix, pid), O_RDONLY);
  if (fd < 0) return Account::admin;
  // One byte more than the longest word and its line feed: a longer file
  // names nobody.
  std::array<char, 8> text{};
  const ssize_t n = read(fd, text.data(), text.size());
  close(fd);
  if (n < 2 || text.at(static_cast<std::size_t>(n) - 1) != '\n') return Account::admin;
  return accountFrom(std::string_view(text.data(), static_cast<std::size_t>(n) - 1)).value_or(Account::admin);
}

}  // namespace emu
