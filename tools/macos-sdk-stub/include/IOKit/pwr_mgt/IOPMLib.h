/*
 * The least of <IOKit/pwr_mgt/IOPMLib.h> that smc-charge uses, written from
 * Apple's public IOKit reference: the registration for the sleep and wake
 * messages and the answers to them, and the timed wakes. For the Linux
 * cross-check only; a build on macOS uses the SDK's own header.
 */
#ifndef _IOKIT_IOPMLIB_H
#define _IOKIT_IOPMLIB_H

#include <stdint.h>
#include <sys/cdefs.h>

#include <CoreFoundation/CoreFoundation.h>
#include <IOKit/IOKitLib.h>

__BEGIN_DECLS

/* The root domain's connection, for the answers; MACH_PORT_NULL (0) on failure. */
io_connect_t IORegisterForSystemPower(void *refcon, IONotificationPortRef *thePortRef,
                                      IOServiceInterestCallback callback, io_object_t *notifier);

/* notificationID: the message's argument, as (intptr_t)messageArgument. */
IOReturn IOAllowPowerChange(io_connect_t kernelPort, intptr_t notificationID);
IOReturn IOCancelPowerChange(io_connect_t kernelPort, intptr_t notificationID);

/* Root only. A cancellation names the request's date, id and type. */
#define kIOPMAutoWake "wake"
IOReturn IOPMSchedulePowerEvent(CFDateRef time_to_wake, CFStringRef my_id, CFStringRef type);
IOReturn IOPMCancelScheduledPowerEvent(CFDateRef time_to_wake, CFStringRef my_id, CFStringRef type);

__END_DECLS

#endif /* _IOKIT_IOPMLIB_H */
