// The emulator's own errors: each ends the run with one message on standard
// error and exit status 2, before the helper has run.
#pragma once

#include <stdexcept>

/// An error of smc-emu itself; what() is the message, without the program name.
struct EmuError : std::runtime_error {
  using std::runtime_error::runtime_error;
};
