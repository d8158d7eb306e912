// The scheduled power events of IOKit (IOKit/pwr_mgt/IOPMLib.h): a timed
// wake asked of the Mac and taken back, declared as on macOS, for platforms
// that have no IOKit.
//
// Behind them stands the attached machine; with none attached a request
// succeeds and nothing comes of it, as with a machine without a clock.
#pragma once

#include "platform/standin/cf_date.h"
#include "platform/standin/iokit.h"

extern "C" {

/// Asks the Mac for the power event `type` at `time_to_wake`, on behalf of
/// `my_id`: kIOReturnSuccess, kIOReturnNotPrivileged for a caller without
/// root, or kIOReturnBadArgument for a missing or malformed argument.
IOReturn IOPMSchedulePowerEvent(CFDateRef time_to_wake, CFStringRef my_id, CFStringRef type);
/// Takes back the request of the same date, id and type; kIOReturnNotFound
/// where there is none.
IOReturn IOPMCancelScheduledPowerEvent(CFDateRef time_to_wake, CFStringRef my_id, CFStringRef type);

}  // extern "C"

// The type of a wake from sleep, as the SDK spells it: used as CFSTR(kIOPMAutoWake).
#define kIOPMAutoWake "wake"  // NOLINT(cppcoreguidelines-macro-usage)
