#include "response/print_json.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <exception>

#include "response/utf8.h"

OutputLine outputLine(const JsonResponse& response) {
  std::string text = encodeJson(response);
  // The users make every text valid before they make the record; this check
  // keeps a mistake there from ever putting bytes on the line that a JSON
  // parser would refuse.
  if (!isValidUtf8(text)) return {.text = std::string(kFallbackLine), .exitStatus = 1};
  text += '\n';
  return {.text = std::move(text), .exitStatus = response.ok ? 0 : 1};
}

void writeAll(int fd, std::string_view text) noexcept {
  while (!text.empty()) {
    const ssize_t written = write(fd, text.data(), text.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    text.remove_prefix(static_cast<std::size_t>(written));
  }
}

namespace {

/// A failed write of the line is not reported anywhere: the caller learns
/// what it can from the exit status, and standard error stays silent.
void writeOut(std::string_view text) noexcept { writeAll(STDOUT_FILENO, text); }

}  // namespace

void printJson(const JsonResponse& response) noexcept { std::exit(printLine(response)); }

int printLine(const JsonResponse& response) noexcept {
  try {
    const OutputLine line = outputLine(response);
    writeOut(line.text);
    return line.exitStatus;
  } catch (...) {
    writeOut(kFallbackLine);  // only running out of memory can land here
    return 1;
  }
}

void printFallbackLine() noexcept {
  writeOut(kFallbackLine);
  std::exit(1);
}

extern "C" void smc_charge_terminate() {
  // _exit: an exception may still be in flight, and nothing else may run.
  writeOut(kFallbackLine);
  _exit(1);
}

void fallBackOnTerminate() noexcept { std::set_terminate(smc_charge_terminate); }
