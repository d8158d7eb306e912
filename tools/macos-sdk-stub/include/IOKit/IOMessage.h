/*
 * The least of <IOKit/IOMessage.h> that smc-charge uses, written from
 * Apple's public IOKit reference: the system's sleep and wake messages,
 * built as the SDK builds them. For the Linux cross-check only; a build on
 * macOS uses the SDK's own header.
 */
#ifndef __IOKIT_IOMESSAGE_H
#define __IOKIT_IOMESSAGE_H

#include <IOKit/IOReturn.h>
#include <IOKit/IOTypes.h>

#define iokit_common_msg(message) (UInt32)(sys_iokit | sub_iokit_common | message)

#define kIOMessageCanSystemSleep     iokit_common_msg(0x270) /* 0xE0000270 */
#define kIOMessageSystemWillSleep    iokit_common_msg(0x280) /* 0xE0000280 */
#define kIOMessageSystemWillNotSleep iokit_common_msg(0x290) /* 0xE0000290 */
#define kIOMessageSystemHasPoweredOn iokit_common_msg(0x300) /* 0xE0000300 */
#define kIOMessageSystemWillPowerOn  iokit_common_msg(0x320) /* 0xE0000320 */

#endif /* __IOKIT_IOMESSAGE_H */
