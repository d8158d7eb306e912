// The emulated Mac's battery as the I/O Registry shows it: the
// AppleSmartBattery entry, laid out as each generation of macOS lays it out.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/standin/cf_objects.h"
#include "platform/emulated/emulated_time.h"

namespace emu {

/// Where the entry keeps the capacities in mAh: at the top level beside
/// AppleRawMaxCapacity (Apple silicon, macOS 26 and earlier), in the
/// BatteryData dictionary (macOS 27), or in MaxCapacity itself (Intel).
enum class EntryLayout : std::uint8_t { topLevel, batteryData, intel };

/// The word of `layout`: "top-level", "BatteryData" or "intel", as the
/// helper's line names it.
std::string_view layoutWord(EntryLayout layout);

/// The layout that `word` names, or none.
std::optional<EntryLayout> layoutFromWord(std::string_view word);

/// What the machine keeps of its battery's entry; the rest follows from the
/// charge and what the battery does. A figure that is none is not in the
/// entry at all.
struct BatteryEntry {
  EntryLayout layout = EntryLayout::topLevel;
  std::optional<int> cycleCount = 112;
  std::optional<int> designCapacity = 4382;       ///< mAh
  std::optional<int> nominalCapacity = 4107;      ///< mAh: NominalChargeCapacity
  std::optional<int> fullChargeCapacity = 4050;   ///< mAh
  std::optional<int> temperature = 3056;          ///< hundredths of a degree Celsius
  bool operator==(const BatteryEntry&) const = default;
};

/// What the adapter reports in AdapterDetails, connected or not (the entry
/// keeps the last adapter's details; ExternalConnected tells).
inline constexpr int kAdapterWatts = 96;

/// The entry's properties for a battery at `charge` (tenths of a percent)
/// that does `activity`, the Mac on its adapter or not, as
/// IORegistryEntryCreateCFProperties gives them.
platform::cf::Owned entryProperties(const BatteryEntry& entry, int charge, bool onAdapter, Activity activity);

}  // namespace emu
