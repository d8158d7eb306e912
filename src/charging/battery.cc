#include "charging/battery.h"

#include <cstdint>
#include <exception>

#include "charging/cf_owned.h"
#include "charging/cf_values.h"

namespace {

bool isText(CFDictionaryRef description, CFStringRef key, CFStringRef text) {
  const CFTypeRef value = valueOfType(description, key, CFStringGetTypeID());
  return value != nullptr && CFEqual(value, text) != 0;
}

bool isPresentBattery(CFDictionaryRef description) {
  return description != nullptr && CFGetTypeID(description) == CFDictionaryGetTypeID() &&
         isText(description, CFSTR(kIOPSTypeKey), CFSTR(kIOPSInternalBatteryType)) &&
         isTrue(description, CFSTR(kIOPSIsPresentKey));
}

/// The reading of the battery's description, when it makes a level.
std::optional<BatteryReading> readingOf(CFDictionaryRef description) {
  const auto current = integerOf(description, CFSTR(kIOPSCurrentCapacityKey));
  const auto max = integerOf(description, CFSTR(kIOPSMaxCapacityKey));
  const auto level = current && max ? batteryLevel(*current, *max) : std::nullopt;
  if (!level) return std::nullopt;
  return BatteryReading{
      .level = *level,
      .onAdapter = isText(description, CFSTR(kIOPSPowerSourceStateKey), CFSTR(kIOPSACPowerValue)),
      .charging = isTrue(description, CFSTR(kIOPSIsChargingKey))};
}

}  // namespace

std::optional<int> batteryLevel(int current, int max) {
  if (max <= 0 || current < 0 || current > max) return std::nullopt;
  // In a long long, the product of an int and 100 cannot overflow.
  return static_cast<int>(static_cast<long long>(current) * 100 / max);
}

std::optional<BatteryReading> readBattery() {
  try {
    // Two objects, each released on every way out.
    const CFOwned<CFTypeRef> info(IOPSCopyPowerSourcesInfo());
    if (!info) return std::nullopt;
    const CFOwned<CFArrayRef> list(IOPSCopyPowerSourcesList(info.get()));
    if (!list) return std::nullopt;
    const CFArrayRef sources = list.get();
    for (CFIndex i = 0; i < CFArrayGetCount(sources); ++i) {
      const CFDictionaryRef description =
          IOPSGetPowerSourceDescription(info.get(), CFArrayGetValueAtIndex(sources, i));
      // The first present internal battery is the Mac's; a UPS or another
      // source before it is passed over.
      if (isPresentBattery(description)) return readingOf(description);
    }
  } catch (const std::exception&) {
    // Only the stand-in allocates here; running out of memory is no reading.
  }
  return std::nullopt;
}
