/*
 * The least of <IOKit/IOTypes.h> that smc-charge uses, written from Apple's
 * public IOKit reference: the user-space object handle types, the option
 * bits, and the Mac types that its users take from it (UInt32). For the Linux
 * cross-check only; a build on macOS uses the SDK's own header.
 */
#ifndef __IOKIT_IOTYPES_H
#define __IOKIT_IOTYPES_H

#include <IOKit/IOReturn.h>
#include <libkern/OSTypes.h> /* UInt32, through MacTypes.h */
#include <mach/mach_types.h> /* mach_port_t */

typedef mach_port_t io_object_t;
typedef io_object_t io_connect_t;
typedef io_object_t io_service_t;
typedef io_object_t io_registry_entry_t;
typedef UInt32 IOOptionBits;

#endif /* __IOKIT_IOTYPES_H */
