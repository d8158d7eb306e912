#include "charging/battery_health.h"

#include <exception>

#include "charging/cf_owned.h"
#include "charging/cf_values.h"
#include "cli/architecture.h"

namespace {

/// A count, a capacity, a voltage or a power: a figure below 0 is none.
std::optional<int> countOf(CFDictionaryRef dictionary, CFStringRef key) {
  const auto number = integerOf(dictionary, key);
  return number && *number >= 0 ? number : std::nullopt;
}

/// Hundredths as tenths, rounded down (towards the colder), so that the
/// figure shown passes a threshold exactly when the battery's own does.
int tenthsOf(int hundredths) { return hundredths / 10 - (hundredths % 10 < 0 ? 1 : 0); }

std::optional<int> nominalOverDesign(std::optional<int> nominal, std::optional<int> design) {
  if (!nominal || !design || *design == 0) return std::nullopt;
  // In a long long, the product of an int and 100 cannot overflow.
  return static_cast<int>(static_cast<long long>(*nominal) * 100 / *design);
}

}  // namespace

BatteryFigures healthOf(CFDictionaryRef properties, bool appleSilicon) {
  BatteryFigures health{.layout = kTopLevelLayout};
  // macOS 27 took the raw capacities off the top level and keeps those in mAh
  // in BatteryData, a dictionary that earlier versions have too, with other
  // figures: the full-charge and nominal capacities found there tell them
  // apart.
  const CFDictionaryRef data = static_cast<CFDictionaryRef>(
      valueOfType(properties, CFSTR("BatteryData"), CFDictionaryGetTypeID()));
  CFDictionaryRef capacities = properties;
  CFStringRef fullCharge = CFSTR("AppleRawMaxCapacity");
  if (!appleSilicon) {
    // Intel's MaxCapacity counts mAh, where Apple silicon's is a percentage.
    health.layout = kIntelLayout;
    fullCharge = CFSTR("MaxCapacity");
  } else if (data != nullptr && (CFDictionaryGetValue(data, CFSTR("FullChargeCapacity")) != nullptr ||
                                 CFDictionaryGetValue(data, CFSTR("NominalChargeCapacity")) != nullptr)) {
    health.layout = kBatteryDataLayout;
    capacities = data;
    fullCharge = CFSTR("FullChargeCapacity");
  }
  health.designCapacity = countOf(capacities, CFSTR("DesignCapacity"));
  health.nominalCapacity = countOf(capacities, CFSTR("NominalChargeCapacity"));
  health.fullChargeCapacity = countOf(capacities, fullCharge);
  health.nominalOverDesign = nominalOverDesign(health.nominalCapacity, health.designCapacity);
  health.cycleCount = countOf(properties, CFSTR("CycleCount"));
  // The battery's own sensor: VirtualTemperature, an estimate, can be
  // degrees away from it.
  if (const auto hundredths = integerOf(properties, CFSTR("Temperature"))) {
    health.temperature = tenthsOf(*hundredths);
  }
  health.voltage = countOf(properties, CFSTR("Voltage"));
  health.current = integerOf(properties, CFSTR("Amperage"));
  if (!health.current) health.current = integerOf(properties, CFSTR("InstantAmperage"));
  // The adapter's details outlast its unplugging: only a connected one counts.
  const CFDictionaryRef adapter = static_cast<CFDictionaryRef>(
      valueOfType(properties, CFSTR("AdapterDetails"), CFDictionaryGetTypeID()));
  if (adapter != nullptr && isTrue(properties, CFSTR("ExternalConnected"))) {
    health.adapterWatts = countOf(adapter, CFSTR("Watts"));
  }
  return health;
}

std::optional<BatteryFigures> readBatteryHealth() {
  try {
    // The lookup takes over the matching dictionary.
    const io_service_t entry =
        IOServiceGetMatchingService(kIOMainPortDefault, IOServiceMatching("AppleSmartBattery"));
    if (entry == 0) return std::nullopt;
    // The entry is released on every way out (the stand-in's call can throw).
    CFMutableDictionaryRef made = nullptr;
    kern_return_t io{};
    try {
      // A null allocator is the default one.
      io = IORegistryEntryCreateCFProperties(entry, &made, nullptr, 0);
    } catch (...) {
      IOObjectRelease(entry);
      throw;
    }
    IOObjectRelease(entry);
    const CFOwned<CFMutableDictionaryRef> properties(made);
    if (io != kIOReturnSuccess || !properties) return std::nullopt;
    // What MaxCapacity counts depends on the processor, which the
    // capabilities report's probe names.
    return healthOf(properties.get(), machineHardwareName() == "arm64");
  } catch (const std::exception&) {
    // Only the stand-in allocates here; running out of memory is no reading.
  }
  return std::nullopt;
}
