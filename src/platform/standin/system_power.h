// The sleep and wake notifications of IOKit (IOKit/pwr_mgt/IOPMLib.h,
// IOKit/IOMessage.h, and the port calls of IOKitLib.h), declared as on
// macOS, for platforms that have no IOKit.
//
// The messages come from the attached machine, through the run loop
// (run_loop.h); with none attached, or one without a clock, none ever comes.
#pragma once

#include <cstdint>

#include "platform/standin/iokit.h"
#include "platform/standin/run_loop.h"

extern "C" {

using IONotificationPortRef = CFStandinObject*;
using IOServiceInterestCallback = void (*)(void* refcon, io_service_t service, uint32_t messageType,
                                           void* messageArgument);

// iokit_common_msg(m): 0xE0000000 | m.
inline constexpr uint32_t kIOMessageCanSystemSleep = 0xE0000270U;
inline constexpr uint32_t kIOMessageSystemWillSleep = 0xE0000280U;
inline constexpr uint32_t kIOMessageSystemWillNotSleep = 0xE0000290U;
inline constexpr uint32_t kIOMessageSystemHasPoweredOn = 0xE0000300U;
inline constexpr uint32_t kIOMessageSystemWillPowerOn = 0xE0000320U;

/// Registers `callback` for the sleep and wake messages, with `refcon`;
/// fills the port, whose run-loop source delivers them once added, and the
/// notifier. The root domain's connection, for the answers; 0 on failure.
io_connect_t IORegisterForSystemPower(void* refcon, IONotificationPortRef* thePortRef,
                                      IOServiceInterestCallback callback, io_object_t* notifier);
/// The port's run-loop source, not retained.
CFRunLoopSourceRef IONotificationPortGetRunLoopSource(IONotificationPortRef notify);
/// Answers the message whose argument was `notificationID`: the change may
/// go on, or (for kIOMessageCanSystemSleep) is refused.
IOReturn IOAllowPowerChange(io_connect_t kernelPort, intptr_t notificationID);
IOReturn IOCancelPowerChange(io_connect_t kernelPort, intptr_t notificationID);

}  // extern "C"

namespace platform {

/// The root domain as the sleep and wake callbacks receive it, and the
/// connection that IORegisterForSystemPower answers with: far above the
/// handles that the emulated Mac gives out.
inline constexpr io_service_t kRootDomainService = 0x7fff0001U;
inline constexpr io_connect_t kRootDomainConnection = 0x7fff0002U;

}  // namespace platform
