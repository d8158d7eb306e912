#include "testing/child_process.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace testing_support {

namespace {

std::string drain(int fd) {
  std::string text;
  char buffer[4096];
  for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<size_t>(n));
  close(fd);
  return text;
}

ChildOutput spawn(const std::function<void()>& child) {
  int out[2];
  int err[2];
  if (pipe(out) != 0 || pipe(err) != 0) std::abort();
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], STDOUT_FILENO);
    dup2(err[1], STDERR_FILENO);
    close(out[0]);
    close(out[1]);
    close(err[0]);
    close(err[1]);
    child();
    std::fflush(nullptr);
    _exit(99);
  }
  close(out[1]);
  close(err[1]);
  // Outputs here are a line or two, far below a pipe's capacity, so reading
  // one after the other cannot deadlock.
  ChildOutput result;
  result.out = drain(out[0]);
  result.err = drain(err[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

}  // namespace

ChildOutput runInChild(const std::function<void()>& body) { return spawn(body); }

ChildOutput runProgram(const std::vector<std::string>& argv) {
  return spawn([&] {
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(98);
  });
}

}  // namespace testing_support
