// Running code that ends the process, and capturing what it leaves behind.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace testing_support {

/// What a child process wrote and how it ended.
struct ChildOutput {
  std::string out;
  std::string err;
  int exitStatus = -1;  ///< the exit status, or -1 when a signal ended it
};

/// Runs `body` in a forked child. A body that returns ends the child with
/// status 99, so a never-returning operation that returns shows up.
ChildOutput runInChild(const std::function<void()>& body);

/// Runs the program `argv[0]` with `argv` as its argument vector.
ChildOutput runProgram(const std::vector<std::string>& argv);

}  // namespace testing_support
