// The charging and adapter writes, with their keys in order of preference.
#pragma once

#include <optional>
#include <string>

#include "charging/key_access.h"

/// The backend that was written and how the write went.
struct WriteAttempt {
  std::string backend;
  WriteResult result;
};

/// None when the machine has no usable key and nothing was written.
using WriteOutcome = std::optional<WriteAttempt>;

/// Enables (true) or inhibits (false) charging through "CHTE", else through
/// "CH0B" and "CH0C".
WriteOutcome writeCharging(bool on);

/// Sets the adapter control through the first of "CHIE", "CH0J", "CH0I".
WriteOutcome writeAdapter(bool on);
