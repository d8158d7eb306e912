// Reading whether charging is enabled, and through which key.
#pragma once

#include <optional>
#include <string>

/// The key whose value decided, and "enabled", "disabled" or "unknown".
struct StatusReading {
  std::string backend{};
  std::string status{};
};

/// Reads "CHTE", else "CH0B"; none when neither tells the status.
std::optional<StatusReading> readChargingStatus();
