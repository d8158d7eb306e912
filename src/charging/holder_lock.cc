#include "charging/holder_lock.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "charging/stop_signals.h"
#include "smc/platform.h"

LockWait waitForHolderLock(int stopPipe) {
  const char* path = holderLockPath();
  // A machine that no other holder can share needs no lock.
  if (path == nullptr) return LockWait::held;
  // An open that fails leaves -1, which fstat refuses as well. Another
  // user's file could be held by that user forever, and a file that others
  // may open, locked by any of them: neither is the holders' lock.
  const int fd = open(path, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  struct stat status {};
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_uid != geteuid() ||
      (status.st_mode & 077U) != 0) {
    close(fd);
    return LockWait::failed;
  }
  // flock cannot wait on the stop pipe too, and a signal may come just before
  // it blocks; asking again each second, with the pipe watched in between,
  // leaves no such gap.
  while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno != EWOULDBLOCK && errno != EINTR) {
      close(fd);
      return LockWait::failed;
    }
    pollfd stop{.fd = stopPipe, .events = POLLIN, .revents = {}};
    if (poll(&stop, 1, 1000) > 0 && stopRequested(stopPipe)) {
      close(fd);
      return LockWait::stopped;
    }
  }
  holderLockTaken();
  return LockWait::held;
}
