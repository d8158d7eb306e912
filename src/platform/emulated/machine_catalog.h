// The emulated Macs that smc-emu can start from, and what of a machine
// outlasts one run.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/emulated/emulated_mac.h"

namespace emu {

/// What a machine is between runs: its keys and values, its architecture
/// answer, whether it has the driver, the keys that its firmware refuses to
/// everyone, and its battery with its entry in the registry. Faults, the
/// caller's privileges and whether the adapter is plugged in belong to one run
/// and are not part of it.
struct MachineState {
  Arch arch = Arch::arm64;
  bool driverPresent = true;
  std::map<std::string, Key> keys{};
  std::set<std::string> refused{};
  /// The battery's charge in tenths of a percent, or none (emulated_battery.h).
  std::optional<int> battery{};
  /// The battery's entry in the registry (battery_entry.h).
  BatteryEntry entry{};
};

/// A machine of the catalog.
struct BuiltinMachine {
  std::string_view name;
  std::string_view summary;  ///< one line for people: what kind of Mac it stands for
  MachineState (*make)();    ///< makes its state
};

/// The name of the machine used when none is asked for.
inline constexpr std::string_view kDefaultMachine = "apple-silicon";

/// The built-in machines, in the order in which they are listed.
std::span<const BuiltinMachine> builtinMachines();

/// The built-in machine called `name`, or null.
const BuiltinMachine* findBuiltinMachine(std::string_view name);

/// The word for an architecture answer: "arm64", "x86_64" or "absent".
std::string_view archWord(Arch arch);

/// The architecture answer named by `word`, or none.
std::optional<Arch> archFromWord(std::string_view word);

/// Makes `mac` the machine that `state` describes.
void applyState(EmulatedMac& mac, const MachineState& state);

/// The state of `mac` as it is now.
MachineState stateOf(const EmulatedMac& mac);

}  // namespace emu
