#include "trace_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "emu_error.h"
#include "regular_file.h"

TraceFile openTraceFile(const std::string& given) {
  TraceFile trace{-1, linkTarget(given), true};
  int error = 0;
  trace.fd = openRegular(trace.path, O_WRONLY | O_APPEND | O_CREAT | O_EXCL, error);
  if (trace.fd < 0 && error == EEXIST) {
    trace.created = false;
    trace.fd = openRegular(trace.path, O_WRONLY | O_APPEND, error);
  }
  if (trace.fd < 0) throw EmuError(fileFailure("open trace file", given, error));
  return trace;
}

bool appendLine(const TraceFile& trace, std::string_view line) {
  std::size_t done = 0;
  off_t start = -1;
  while (done < line.size()) {
    const ssize_t n = write(trace.fd, line.data() + done, line.size() - done);
    if (n > 0) {
      // O_APPEND put the first part at the end: the file ended where it begins.
      struct stat status {};
      if (done == 0 && fstat(trace.fd, &status) == 0) start = status.st_size - n;
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    // The rest is retried above, so a short write ends here with the reason.
    const int error = n < 0 ? errno : EIO;
    if (done > 0 && start >= 0 && ftruncate(trace.fd, start) != 0) {
      // Cut back or not, the run stops, and with the write's reason.
    }
    errno = error;
    return false;
  }
  return true;
}
