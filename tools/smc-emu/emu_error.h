// The emulator's own errors: each ends the run with one message on standard
// error and exit status 2, before the helper's line: most before the helper
// has run, a trace or state file that fails during the run where it fails.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

/// An error of smc-emu itself; what() is the message, without the program name.
struct EmuError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

/// `text` between single quotes, as a message quotes what the caller gave.
std::string quoted(std::string_view text);

/// Writes "smc-emu: MESSAGE" and a line feed on standard error. A message
/// echoes what the caller gave, so its control characters and backslashes
/// are written as escapes (\n, \t, \r, \\, \xHH): a log that reads one line
/// per error keeps reading one. When even that line cannot be made, writes
/// "smc-emu: out of memory" instead. Never throws.
void printEmuError(std::string_view message) noexcept;

/// Writes "smc-emu: out of memory" and a line feed on standard error,
/// allocating nothing.
void printOutOfMemory() noexcept;
