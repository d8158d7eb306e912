// Reading whether the power adapter is cut, through the key that the
// adapter write would use.
#pragma once

#include <optional>

#include "charging/charging_status.h"
#include "charging/charging_write.h"

/// Reads `control`'s key: all bytes zero is "enabled", exactly what
/// "adapter off" leaves there (its byte, then zeros) "disabled", anything
/// else "unknown"; none when the read fails.
std::optional<StatusReading> readAdapterStatus(const AdapterControl& control);

/// The same; none only for a key that is not there to read (meansAbsent),
/// and any other failure handed on.
SMCResult<std::optional<StatusReading>> readAdapterStatusOrError(const AdapterControl& control);

/// The same for the key that an adapter write would use now; none when no
/// key is usable.
std::optional<StatusReading> readAdapterStatus();
