// The IOKit and sysctl names that the SMC client and the architecture probe
// use, declared as on macOS, for platforms that have no IOKit.
//
// Signatures, integer widths and constant values are those of the macOS SDK.
// Behind them stands whatever machine is attached (attached_machine.h); with
// none attached there is no AppleSMC service, as on a Mac without the driver,
// and no battery's entry in the registry.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/standin/core_foundation.h"

extern "C" {

using kern_return_t = int;
using IOReturn = kern_return_t;
using natural_t = unsigned int;
using mach_port_t = natural_t;
using task_port_t = mach_port_t;
using io_object_t = mach_port_t;
using io_service_t = io_object_t;
using io_connect_t = io_object_t;
using io_registry_entry_t = io_object_t;
using IOOptionBits = uint32_t;

extern const mach_port_t kIOMainPortDefault;
extern mach_port_t mach_task_self_;

inline constexpr IOReturn kIOReturnSuccess = 0;
inline constexpr IOReturn kIOReturnError = static_cast<IOReturn>(0xe00002bcU);
inline constexpr IOReturn kIOReturnNotPrivileged = static_cast<IOReturn>(0xe00002c1U);
inline constexpr IOReturn kIOReturnBadArgument = static_cast<IOReturn>(0xe00002c2U);
inline constexpr IOReturn kIOReturnNotOpen = static_cast<IOReturn>(0xe00002cdU);
inline constexpr IOReturn kIOReturnNotFound = static_cast<IOReturn>(0xe00002f0U);

/// A dictionary that matches services of class `name`, or null.
CFMutableDictionaryRef IOServiceMatching(const char* name);
/// The first matching service, or 0; consumes `matching`.
io_service_t IOServiceGetMatchingService(mach_port_t mainPort, CFDictionaryRef matching);
/// Opens a user-client connection to `service`, stored in `*connect`.
kern_return_t IOServiceOpen(io_service_t service, task_port_t owningTask, uint32_t type,
                            io_connect_t* connect);
/// Releases a service handle.
kern_return_t IOObjectRelease(io_object_t object);
/// The properties of `entry`, as a new dictionary stored in `*properties`.
kern_return_t IORegistryEntryCreateCFProperties(io_registry_entry_t entry, CFMutableDictionaryRef* properties,
                                                CFAllocatorRef allocator, IOOptionBits options);
/// Closes a user-client connection.
kern_return_t IOServiceClose(io_connect_t connect);
/// Calls user-client method `selector` with one struct in and one out.
kern_return_t IOConnectCallStructMethod(mach_port_t connection, uint32_t selector,
                                        const void* inputStruct, size_t inputStructCnt,
                                        void* outputStruct, size_t* outputStructCnt);

/// Reads (and, on macOS, may write) the kernel value named `name`.
int sysctlbyname(const char* name, void* oldp, size_t* oldlenp, void* newp, size_t newlen);

}  // extern "C"
