#include "charging/stop_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>

namespace {

int writeEnd = -1;

extern "C" void onStopSignal(int /*signal*/) {
  // write(2) is safe here; errno is the interrupted code's.
  const int saved = errno;
  const char byte = 1;
  // A pipe already holding bytes loses nothing by dropping this one.
  if (write(writeEnd, &byte, 1) < 0) errno = saved;
  errno = saved;
}

/// Non-blocking (a full pipe drops a byte, never blocks a handler) and not
/// inherited by a program that the holder might run.
bool prepare(int fd) {
  const int flags = fcntl(fd, F_GETFL);
  return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0 && fcntl(fd, F_SETFD, FD_CLOEXEC) == 0;
}

}  // namespace

int openStopPipe() {
  std::array<int, 2> ends{};
  if (pipe(ends.data()) != 0) return -1;
  if (!prepare(ends[0]) || !prepare(ends[1])) {
    close(ends[0]);
    close(ends[1]);
    return -1;
  }
  writeEnd = ends[1];
  // Zeroed, its mask blocks no other signal while the handler runs.
  struct sigaction action {};
  action.sa_handler = onStopSignal;
  action.sa_flags = SA_RESTART;
  for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
    if (sigaction(signal, &action, nullptr) != 0) return -1;
  }
  return ends[0];
}

bool stopRequested(int readEnd) {
  std::array<char, 16> bytes{};
  bool any = false;
  while (read(readEnd, bytes.data(), bytes.size()) > 0) any = true;
  return any;
}
