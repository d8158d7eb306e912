// Writing the one line and ending the process.
#pragma once

#include <string>

#include "response/json_response.h"

/// The line printed when a record cannot be turned into text.
inline constexpr const char* kFallbackLine =
    R"({"ok":false,"command":"unknown","code":"ENCODE_FAILED","error":"failed to encode response"})";

/// What `printJson` writes for a record and the status it exits with.
struct OutputLine {
  std::string text;  ///< the JSON text followed by exactly one line feed
  int exitStatus;    ///< 0 when the record's `ok` is true, else 1
};

/// The line for `response`: its JSON text, or the fallback line (status 1)
/// when the text is not valid UTF-8.
OutputLine outputLine(const JsonResponse& response);

/// Writes the line for `response` to standard output and ends the process
/// with its status.
[[noreturn]] void printJson(const JsonResponse& response);

/// Writes the fallback line and ends the process with status 1.
[[noreturn]] void printFallbackLine();
