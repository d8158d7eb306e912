/*
 * The least of <IOKit/ps/IOPowerSources.h> that smc-charge uses, written
 * from Apple's public IOKit reference: the snapshot of the power sources, its
 * list, one source's description, and the run-loop source of their changes. For the Linux cross-check only; a
 * build on macOS uses the SDK's own header.
 */
#ifndef _IOKIT_IOPOWERSOURCES_H
#define _IOKIT_IOPOWERSOURCES_H

#include <sys/cdefs.h>

#include <CoreFoundation/CoreFoundation.h>
#include <IOKit/ps/IOPSKeys.h>

__BEGIN_DECLS

/* The snapshot, to release; NULL on failure. */
CFTypeRef IOPSCopyPowerSourcesInfo(void);

/* The sources of the snapshot, to release; NULL on failure. */
CFArrayRef IOPSCopyPowerSourcesList(CFTypeRef blob);

/* Not retained: valid as long as the snapshot; NULL on failure. */
CFDictionaryRef IOPSGetPowerSourceDescription(CFTypeRef blob, CFTypeRef ps);

typedef void (*IOPowerSourceCallbackType)(void *context);

/* Created: to release. NULL on failure. */
CFRunLoopSourceRef IOPSNotificationCreateRunLoopSource(IOPowerSourceCallbackType callback, void *context);

__END_DECLS

#endif /* _IOKIT_IOPOWERSOURCES_H */
