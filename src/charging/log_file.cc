#include "charging/log_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "charging/descriptor_path.h"

namespace {

/// The log's path; empty when standard output is no regular file. Made on
/// first use: a holder's alone needs it, and no other run pays for it.
std::string& logPath() {
  static std::string path;
  return path;
}
bool errorsToo = false;

}  // namespace

void rememberLog() {
  struct stat out {};
  struct stat err {};
  if (fstat(STDOUT_FILENO, &out) != 0 || !S_ISREG(out.st_mode)) return;
  logPath() = descriptorPath(STDOUT_FILENO);
  errorsToo = fstat(STDERR_FILENO, &err) == 0 && err.st_dev == out.st_dev && err.st_ino == out.st_ino;
}

void reopenLog() {
  if (logPath().empty()) return;
  const int fd = open(logPath().c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd == -1) return;
  dup2(fd, STDOUT_FILENO);
  if (errorsToo) dup2(fd, STDERR_FILENO);
  close(fd);
}
