// The power-source names of IOKit (IOKit/ps/IOPowerSources.h and
// IOPSKeys.h) that the battery reading uses, declared as on macOS, for
// platforms that have no IOKit.
//
// Behind them stands the attached machine's list of power sources; with no
// machine attached the list is empty, as on a Mac without a battery, and no
// notification comes.
#pragma once

#include "platform/standin/core_foundation.h"
#include "platform/standin/run_loop.h"

extern "C" {

using IOPowerSourceCallbackType = void (*)(void* context);

/// The system's power-source information, to release; null when it cannot
/// be had.
CFTypeRef IOPSCopyPowerSourcesInfo();
/// The power sources of `blob`, to release; null for a null blob.
CFArrayRef IOPSCopyPowerSourcesList(CFTypeRef blob);
/// The description of the power source `ps` of `blob`, not retained; null
/// when `ps` is not one of `blob`'s.
CFDictionaryRef IOPSGetPowerSourceDescription(CFTypeRef blob, CFTypeRef ps);
/// A run-loop source, to release, whose `callback` runs with `context` at
/// each notification of the attached machine's power sources.
CFRunLoopSourceRef IOPSNotificationCreateRunLoopSource(IOPowerSourceCallbackType callback, void* context);

}  // extern "C"

// The keys and values of a description, as the SDK spells them.
// NOLINTBEGIN(cppcoreguidelines-macro-usage)
#define kIOPSTypeKey "Type"
#define kIOPSInternalBatteryType "InternalBattery"
#define kIOPSIsPresentKey "Is Present"
#define kIOPSCurrentCapacityKey "Current Capacity"
#define kIOPSMaxCapacityKey "Max Capacity"
#define kIOPSPowerSourceStateKey "Power Source State"
#define kIOPSACPowerValue "AC Power"
#define kIOPSBatteryPowerValue "Battery Power"
#define kIOPSIsChargingKey "Is Charging"
// NOLINTEND(cppcoreguidelines-macro-usage)
