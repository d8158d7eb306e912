// The emulated Mac's battery: how its keys decide where the power comes
// from, what the power-source API describes, and how the level moves with
// time, at fixed rates so that every run is the same.
#pragma once

#include <map>
#include <string>

#include "platform/attached_machine.h"
#include "platform/emulated_mac.h"

namespace emu {

/// The charge is kept in tenths of a percent, 0 to 1000: a minute then moves
/// it by whole steps.
inline constexpr int kFullCharge = 1000;
/// Rising while charging: 0.5 percent a minute, empty to full in 200 minutes.
inline constexpr int kChargingPerMinute = 5;
/// Falling on the battery: 0.2 percent a minute, full to empty in 500 minutes.
inline constexpr int kDrainingPerMinute = 2;
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

/// The charge `minutes` after `charge` in `state`: rising while charging (to
/// full), falling on the battery (to empty), still otherwise.
int chargeAfter(int charge, int minutes, PowerState state);

/// The internal battery as IOPSGetPowerSourceDescription describes it:
/// "Current Capacity" the whole percent, "Max Capacity" 100.
platform::PowerSourceDescription batteryDescription(int charge, PowerState state);

}  // namespace emu
