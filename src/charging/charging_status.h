// Reading whether charging is enabled, and through which key.
#pragma once

#include <optional>
#include <string>

#include "smc/smc_error.h"

/// The key whose value decided, and "enabled", "disabled" or "unknown".
struct StatusReading {
  std::string backend{};
  std::string status{};
};

/// Reads "CHTE", else "CH0B"; none when neither tells the status.
std::optional<StatusReading> readChargingStatus();

/// The same, but a read that fails for another reason than a key that is
/// not there (meansAbsent) ends it with that failure, instead of passing to
/// the next key.
SMCResult<std::optional<StatusReading>> readChargingStatusOrError();
