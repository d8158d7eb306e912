/*
 * The least of <IOKit/IOKitLib.h> that smc-charge uses, written from Apple's
 * public IOKit reference (signatures, types and availability only): finding
 * the AppleSMC service, opening and closing its user client, one struct
 * call, the properties of a registry entry (the battery's), and the
 * notification port and interest callback of the sleep and
 * wake messages (IOKit/pwr_mgt/IOPMLib.h). For the Linux cross-check only (scripts/macos-cross-check); a build on
 * macOS uses the SDK's own header and never sees this folder.
 */
#ifndef __IOKIT_IOKITLIB_H
#define __IOKIT_IOKITLIB_H

#include <stddef.h>
#include <stdint.h>
#include <sys/cdefs.h>

#include <CoreFoundation/CoreFoundation.h>
#include <IOKit/IOTypes.h>
#include <mach/mach_types.h> /* task_port_t */
#include <os/availability.h>

__BEGIN_DECLS

/* The default main port; new in macOS 12.0 (it replaced kIOMasterPortDefault). */
extern const mach_port_t kIOMainPortDefault
    API_AVAILABLE(macCatalyst(15.0), macos(12.0), ios(15.0), watchos(8.0), tvos(15.0));

kern_return_t IOObjectRelease(io_object_t object);

/* Returns a matching dictionary, retained; NULL on failure. */
CFMutableDictionaryRef IOServiceMatching(const char *name);

/* Consumes one reference on matching. */
io_service_t IOServiceGetMatchingService(mach_port_t mainPort, CFDictionaryRef matching);

kern_return_t IOServiceOpen(io_service_t service, task_port_t owningTask, uint32_t type,
                            io_connect_t *connect);

kern_return_t IOServiceClose(io_connect_t connect);

/* A new dictionary of the entry's properties, in *properties; options 0. */
kern_return_t IORegistryEntryCreateCFProperties(io_registry_entry_t entry, CFMutableDictionaryRef *properties,
                                                CFAllocatorRef allocator, IOOptionBits options);

kern_return_t IOConnectCallStructMethod(mach_port_t connection, uint32_t selector,
                                        const void *inputStruct, size_t inputStructCnt,
                                        void *outputStruct, size_t *outputStructCnt);

typedef struct IONotificationPort *IONotificationPortRef;

typedef void (*IOServiceInterestCallback)(void *refcon, io_service_t service, uint32_t messageType,
                                          void *messageArgument);

/* Not retained: the port owns it. */
CFRunLoopSourceRef IONotificationPortGetRunLoopSource(IONotificationPortRef notify);

__END_DECLS

#endif /* __IOKIT_IOKITLIB_H */
