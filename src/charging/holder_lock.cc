#include "charging/holder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <string>

#include "smc/platform.h"

namespace {

/// The lock file, open once it has been found trustworthy; -1 before.
int lockFd = -1;

/// The number at `at` up to the byte `end`, which must follow it.
std::optional<long> numberBefore(const char*& at, const char* last, char end) {
  long value{};
  const auto [past, error] = std::from_chars(at, last, value);
  if (error != std::errc() || past == at || past == last || *past != end || value < 0) return std::nullopt;
  at = past + 1;
  return value;
}

}  // namespace

LockTry tryHolderLock() {
  const char* path = holderLockPath();
  // A machine that no other holder can share needs no lock.
  if (path == nullptr) return LockTry::held;
  if (lockFd == -1) {
    // An open that fails leaves -1, which fstat refuses as well.
    const int fd = open(path, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    struct stat status {};
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_uid != geteuid() ||
        ((status.st_mode & 077U) != 0 && fchmod(fd, 0600) != 0)) {
      close(fd);
      holderLockSettled();
      return LockTry::failed;
    }
    lockFd = fd;
  }
  const bool held = flock(lockFd, LOCK_EX | LOCK_NB) == 0;
  if (!held && (errno == EWOULDBLOCK || errno == EINTR)) return LockTry::busy;
  holderLockSettled();
  return held ? LockTry::held : LockTry::failed;
}

void recordHolder(Band band) {
  if (lockFd == -1) return;
  const std::string text = std::to_string(getpid()) + '\n' + std::to_string(band.lower) + ' ' +
                           std::to_string(band.upper) + '\n';
  // Through a descriptor of its own, opened while the lock is held: what a
  // reader meets is the old text, nothing, or the new, and it refuses all
  // but a whole one.
  const int fd = open(holderLockPath(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC);
  if (fd == -1) return;
  [[maybe_unused]] const ssize_t written = write(fd, text.data(), text.size());
  close(fd);
}

std::optional<HolderInfo> lockHolder() {
  std::array<char, 64> bytes;  // NOLINT(cppcoreguidelines-pro-type-member-init): read fills what is used
  const int fd = lockFd == -1 ? -1 : open(holderLockPath(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  const ssize_t count = fd == -1 ? -1 : read(fd, bytes.data(), bytes.size());
  if (fd != -1) close(fd);
  if (count <= 0) return std::nullopt;
  const char* at = bytes.data();
  const char* last = at + count;
  const auto pid = numberBefore(at, last, '\n');
  const auto lower = numberBefore(at, last, ' ');
  const auto upper = numberBefore(at, last, '\n');
  if (!pid || !lower || !upper || at != last || *lower > 100 || *upper > 100) return std::nullopt;
  return HolderInfo{.pid = *pid, .lower = static_cast<int>(*lower), .upper = static_cast<int>(*upper)};
}
