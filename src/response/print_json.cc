#include "response/print_json.h"

#include <cstdio>
#include <cstdlib>

#include "response/utf8.h"

OutputLine outputLine(const JsonResponse& response) {
  std::string text = encodeJson(response);
  // The users make every text valid before they make the record; this check
  // keeps a mistake there from ever putting bytes on the line that a JSON
  // parser would refuse.
  if (!isValidUtf8(text)) return {std::string(kFallbackLine) + '\n', 1};
  text += '\n';
  return {std::move(text), response.ok ? 0 : 1};
}

namespace {

/// A failed write to standard output is not reported anywhere: the caller
/// learns what it can from the exit status, and standard error stays silent.
[[noreturn]] void writeAndExit(const OutputLine& line) {
  static_cast<void>(std::fwrite(line.text.data(), 1, line.text.size(), stdout));
  std::exit(line.exitStatus);  // flushes standard output
}

}  // namespace

void printJson(const JsonResponse& response) { writeAndExit(outputLine(response)); }

void printFallbackLine() { writeAndExit({std::string(kFallbackLine) + '\n', 1}); }
