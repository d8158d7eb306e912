// The command dispatcher: one argument vector in, one response out.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "response/json_response.h"

/// The response for one run with `args` (index 0 the program, 1 the command,
/// 2 and 3 its values, 4 to 6 hold's options; later entries are never read),
/// for every command but hold-daemon, band and holder, which runHelper
/// serves. Argument errors are answered before any SMC access. `args` must be
/// valid UTF-8.
JsonResponse respond(std::span<const std::string> args);

/// The failure response with `command`, `code` and `message`.
JsonResponse errorRecord(const std::string& command, const std::string& code,
                         const std::string& message);

/// The entries of `argv` that the dispatcher reads (the first seven at most),
/// each with its bytes that are not valid UTF-8 replaced by U+FFFD.
std::vector<std::string> argumentsOf(int argc, const char* const* argv);

/// The helper's entry point: answers `argv` with one line on standard output
/// (hold-daemon: one at each event, until it is stopped; band and holder: the
/// running holder's answer) and ends the process with status 0 or 1.
[[noreturn]] void runHelper(int argc, const char* const* argv);
