// Reading the internal battery as the system reports it, through the
// power-source API (not the SMC, whose battery keys change encoding between
// firmware versions).
#pragma once

#include <optional>
#include <string_view>

/// The code and message of a battery that cannot be read.
inline constexpr std::string_view kBatteryUnavailableCode = "BATTERY_UNAVAILABLE";
inline constexpr std::string_view kBatteryUnavailableMessage = "unable to read the battery";

/// The internal battery: its level, where the Mac draws its power from, and
/// whether the battery is charging.
struct BatteryReading {
  int level{};       ///< 0 to 100: "Current Capacity" × 100 / "Max Capacity", rounded down
  bool onAdapter{};  ///< "Power Source State" is "AC Power"
  bool charging{};   ///< "Is Charging" is true
};

/// The level for `current` of `max`; none unless 0 <= current <= max and
/// max > 0.
std::optional<int> batteryLevel(int current, int max);

/// The first power source whose "Type" is "InternalBattery" and whose "Is
/// Present" is true, when it has integer capacities that make a level; none
/// otherwise, and on any failure.
std::optional<BatteryReading> readBattery();
