/*
 * The least of <IOKit/IOReturn.h> that smc-charge uses, written from Apple's
 * public IOKit reference: the IOReturn type and the codes the helper names,
 * built as the SDK builds them. For the Linux cross-check only
 * (scripts/macos-cross-check); a build on macOS uses the SDK's own header.
 */
#ifndef __IOKIT_IORETURN_H
#define __IOKIT_IORETURN_H

#include <mach/error.h> /* err_system, err_sub, kern_return_t, KERN_SUCCESS */

typedef kern_return_t IOReturn;

#define sys_iokit              err_system(0x38)
#define sub_iokit_common       err_sub(0)
#define iokit_common_err(ret)  (sys_iokit | sub_iokit_common | ret)

#define kIOReturnSuccess       KERN_SUCCESS            /* 0 */
#define kIOReturnError         iokit_common_err(0x2bc) /* 0xE00002BC: general error */
#define kIOReturnNotPrivileged iokit_common_err(0x2c1) /* 0xE00002C1: privilege violation */

#endif /* __IOKIT_IORETURN_H */
