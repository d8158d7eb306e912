/*
 * The least of <IOKit/ps/IOPSKeys.h> that smc-charge uses, written from
 * Apple's public IOKit reference: the keys and values of a power source's
 * description. As in the SDK they are C string literals, to be wrapped in
 * CFSTR() where a CFString is wanted. For the Linux cross-check only; a
 * build on macOS uses the SDK's own header.
 */
#ifndef _IOPSKEYS_H_
#define _IOPSKEYS_H_

#define kIOPSNameKey                "Name"
#define kIOPSTypeKey                "Type"
#define kIOPSInternalBatteryType    "InternalBattery"
#define kIOPSIsPresentKey           "Is Present"
#define kIOPSCurrentCapacityKey     "Current Capacity"
#define kIOPSMaxCapacityKey         "Max Capacity"
#define kIOPSPowerSourceStateKey    "Power Source State"
#define kIOPSACPowerValue           "AC Power"
#define kIOPSBatteryPowerValue      "Battery Power"
#define kIOPSIsChargingKey          "Is Charging"

#endif /* _IOPSKEYS_H_ */
