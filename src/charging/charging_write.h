// The charging and adapter writes, with their keys in order of preference.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "charging/key_access.h"

/// The backend that was written and how the write went.
struct WriteAttempt {
  std::string backend{};
  WriteResult result = Done{};
};

/// None when the machine has no usable key and nothing was written.
using WriteOutcome = std::optional<WriteAttempt>;

/// The backend that a charging write would use now: "CHTE" when that key is
/// usable, else "CH0B_CH0C" when either of those is; none otherwise. It makes
/// exactly the existence checks with which a write begins.
std::optional<std::string> chargingBackend();

/// The same choice, but a check that fails for another reason than a key
/// that is not there (meansAbsent) ends it with that failure: a choice that
/// needs to be right, not merely made.
SMCResult<std::optional<std::string>> chargingBackendOrError();

/// Enables (true) or inhibits (false) charging through "CHTE", else through
/// "CH0B" and "CH0C".
WriteOutcome writeCharging(bool on);

/// The same through `backend`, as chargingBackend names it: "CHTE", or
/// "CH0B_CH0C", whose keys are each checked again right before their write.
WriteOutcome writeCharging(bool on, std::string_view backend);

/// An adapter key and the byte that each state writes to it.
struct AdapterControl {
  std::string_view key{};
  std::uint8_t on{};
  std::uint8_t off{};
};

/// The key that an adapter write would use now: the first usable of "CHIE",
/// "CH0J", "CH0I", checked in that order; none when none is usable.
std::optional<AdapterControl> adapterControl();

/// The same choice, ended by a check that fails as chargingBackendOrError's.
SMCResult<std::optional<AdapterControl>> adapterControlOrError();

/// Sets the adapter control through the first of "CHIE", "CH0J", "CH0I".
WriteOutcome writeAdapter(bool on);

/// The same through `control`.
WriteAttempt writeAdapter(bool on, const AdapterControl& control);
