#include "charging/stop_signals.h"

#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>

namespace {

int writeEnd = -1;

/// The byte of each request on the pipe.
constexpr char kStopByte = 's';
constexpr char kReopenByte = 'r';

extern "C" void onSignal(int signal) {
  // write(2) is safe here; errno is the interrupted code's.
  const int saved = errno;
  const char byte = signal == SIGHUP ? kReopenByte : kStopByte;
  [[maybe_unused]] const ssize_t written = write(writeEnd, &byte, sizeof byte);
  errno = saved;
}

}  // namespace

int openStopPipe() {
  // Only root can signal a root holder, and the run loop drains the pipe
  // as soon as a byte is there: a blocking write end never fills, so the
  // handler never blocks.
  std::array<int, 2> ends{};
  if (pipe(ends.data()) != 0) return -1;
  writeEnd = ends[1];
  // Zeroed, its mask blocks no other signal while the handler runs.
  struct sigaction action {};
  action.sa_handler = onSignal;
  action.sa_flags = SA_RESTART;
  // These three are valid, and every system lets a process catch them: the
  // call cannot fail.
  for (const int signal : {SIGTERM, SIGINT, SIGHUP}) sigaction(signal, &action, nullptr);
  return ends[0];
}

SignalRequest readSignals(int readEnd) {
  std::array<char, 64> bytes;  // NOLINT(cppcoreguidelines-pro-type-member-init): read fills what is used
  const ssize_t count = read(readEnd, bytes.data(), bytes.size());
  SignalRequest request = SignalRequest::none;
  for (ssize_t i = 0; i < count; ++i) {
    if (bytes[static_cast<std::size_t>(i)] == kStopByte) return SignalRequest::stop;
    request = SignalRequest::reopenLog;
  }
  return request;
}
