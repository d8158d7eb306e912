#include "charging/stop_signals.h"

#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>

namespace {

int writeEnd = -1;

extern "C" void onStopSignal(int /*signal*/) {
  // write(2) is safe here; errno is the interrupted code's. What the byte
  // holds does not matter, only that it comes.
  const int saved = errno;
  const char byte{};
  [[maybe_unused]] const ssize_t written = write(writeEnd, &byte, sizeof byte);
  errno = saved;
}

}  // namespace

int openStopPipe() {
  // A holder ends at the first stop it serves, long before a pipe could
  // fill: a blocking write end never blocks the handler, and the read end is
  // read only once poll or the run loop finds a byte there.
  std::array<int, 2> ends{};
  if (pipe(ends.data()) != 0) return -1;
  writeEnd = ends[1];
  // Zeroed, its mask blocks no other signal while the handler runs.
  struct sigaction action {};
  action.sa_handler = onStopSignal;
  action.sa_flags = SA_RESTART;
  // These three are valid, and every system lets a process catch them: the
  // call cannot fail.
  for (const int signal : {SIGTERM, SIGINT, SIGHUP}) sigaction(signal, &action, nullptr);
  return ends[0];
}

bool stopRequested(int readEnd) {
  char byte{};
  return read(readEnd, &byte, sizeof byte) == sizeof byte;
}
