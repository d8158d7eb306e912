// Writing the one line and ending the process.
#pragma once

#include <string>
#include <string_view>

#include "response/json_response.h"

/// The line, line feed included, printed when a record cannot be turned into
/// text. A constant, so that printing it needs no memory.
inline constexpr std::string_view kFallbackLine =
    R"({"ok":false,"command":"unknown","code":"ENCODE_FAILED","error":"failed to encode response"})" "\n";

/// What `printJson` writes for a record and the status it exits with.
struct OutputLine {
  std::string text{};  ///< the JSON text followed by exactly one line feed
  int exitStatus{};    ///< 0 when the record's `ok` is true, else 1
};

/// The line for `response`: its JSON text, or the fallback line (status 1)
/// when the text is not valid UTF-8.
OutputLine outputLine(const JsonResponse& response);

/// Writes the line for `response` to standard output and ends the process
/// with its status; the fallback line when making it runs out of memory.
[[noreturn]] void printJson(const JsonResponse& response) noexcept;

/// Writes the line as printJson does, without ending the process (a holder
/// that stays prints one at each event), and returns the status it goes with.
int printLine(const JsonResponse& response) noexcept;

/// Writes the fallback line and ends the process with status 1. Allocates
/// nothing.
[[noreturn]] void printFallbackLine() noexcept;

/// Prints the fallback line and ends the process with status 1: the
/// terminate handler, also before fallBackOnTerminate runs where the build
/// links it in place of the runtime's own.
extern "C" [[noreturn]] void smc_charge_terminate();

/// Makes std::terminate print the fallback line and end the process with
/// status 1, for what no handler can catch: an exception that cannot even be
/// allocated, or one that leaves a noexcept function.
void fallBackOnTerminate() noexcept;

/// Writes all of `text` to `fd` with write(2), which needs no buffer and so
/// no memory, again after a signal or a short write; stops at a failure.
void writeAll(int fd, std::string_view text) noexcept;
