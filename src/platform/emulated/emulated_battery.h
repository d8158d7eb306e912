// The emulated Mac's battery: how its keys decide where the power comes
// from, what the power-source API describes, and how the level moves with
// time, at fixed rates so that every run is the same.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "platform/attached_machine.h"
#include "platform/emulated/emulated_mac.h"

namespace emu {

/// The charge is kept in tenths of a percent, 0 to 1000, and moves by one
/// tenth at a time, at a fixed pace for what the battery does. Each pace is a
/// whole number of tenths of a minute, so that every change falls on one.
inline constexpr int kFullCharge = 1000;
/// Rising while charging, awake or asleep: 0.5 percent a minute, a tenth
/// every 12 seconds; empty to full in 200 minutes.
inline constexpr std::int64_t kChargingTenthMs = 12'000;
/// Falling on the battery while awake: 0.2 percent a minute, a tenth every 30
/// seconds; full to empty in 500 minutes.
inline constexpr std::int64_t kDrainingTenthMs = 30'000;
/// Falling on the battery while asleep: 1 percent an hour, a tenth every 6
/// minutes; full to empty in a little over four days.
inline constexpr std::int64_t kAsleepDrainingTenthMs = 360'000;
/// Where the battery of each built-in machine with a control starts: 60 percent.
inline constexpr int kStartingCharge = 600;

/// Where the power comes from and what the battery does.
struct PowerState {
  bool onAdapter = false;  ///< connected, and no adapter key holds its off bytes
  bool charging = false;   ///< on the adapter, not inhibited, and below full
};

/// Whether the machine's adapter control (the first of CHIE, CH0J and CH0I
/// with a value) holds exactly what "adapter off" writes there: CHIE 08,
/// CH0J or CH0I 01, each followed by zeros.
bool adapterCut(const std::map<std::string, Key>& keys);

/// Whether the machine's charging control inhibits charging: CHTE, where it
/// has a value, with the first four bytes 01000000 (a shorter value padded
/// with zeros); else CH0B or CH0C with a first byte other than zero.
bool chargingInhibited(const std::map<std::string, Key>& keys);

/// The state of a machine with `keys` and `charge` whose adapter is, or is
/// not, `connected`.
PowerState powerState(const std::map<std::string, Key>& keys, int charge, bool connected);

/// What the battery does in `state`: charging, still (on the adapter
/// without charging), or draining (on the battery).
Activity activityOf(PowerState state);

/// The milliseconds that the charge takes to move by a tenth; none when it
/// is still.
std::optional<std::int64_t> tenthPace(Activity activity, bool asleep);

/// The charge `ms` milliseconds after `charge` while the battery does
/// `activity`, awake or `asleep`: one tenth for each whole pace that passed,
/// up to full or down to empty.
int chargeAfter(int charge, std::int64_t ms, Activity activity, bool asleep);

/// The internal battery as IOPSGetPowerSourceDescription describes it:
/// "Current Capacity" the whole percent, "Max Capacity" 100.
platform::PowerSourceDescription batteryDescription(int charge, PowerState state);

}  // namespace emu
