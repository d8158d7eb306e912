// The one place that picks the platform's IOKit, power-source, sleep and
// wake, timed-wake, CoreFoundation (run loop and dates included), peer
// credential and group membership, and sysctl declarations.
//
// On Apple platforms these are the system's own headers. Builds that run on
// the project's stand-in instead say so with SMC_CHARGE_IOKIT_STANDIN: all
// builds elsewhere, and on a Mac the second build of this code that smc-emu
// and the tests use, so that one build there holds both. The stand-in
// declares the same names with the same signatures and integer widths, so
// the code that calls them is the same code on both.
#pragma once

#if defined(__APPLE__) && !defined(SMC_CHARGE_IOKIT_STANDIN)
#include <CoreFoundation/CoreFoundation.h>
#include <IOKit/IOKitLib.h>
#include <IOKit/IOMessage.h>
#include <IOKit/pwr_mgt/IOPMLib.h>
#include <IOKit/ps/IOPSKeys.h>
#include <IOKit/ps/IOPowerSources.h>
#include <mach/mach.h>
#include <membership.h>
#include <sys/sysctl.h>
#include <unistd.h>

/// Where the holders of every copy of the helper on this Mac meet: in a
/// folder of root's, emptied at each boot.
inline const char* holderLockPath() { return "/var/run/smc-charge.hold-daemon.lock"; }
/// Where the holder listens for the apps that change its band (its folder is
/// root's: only a holder can have made it), and where it keeps the band they
/// set, across its restarts and the Mac's.
inline const char* holderSocketPath() { return "/var/run/smc-charge.hold-daemon.sock"; }
inline const char* holderBandPath() { return "/var/db/smc-charge.band"; }
/// Told once a holder's wait for the lock is over, taken or refused: nothing
/// to do on a Mac, whose SMC every process shares (an emulated one catches
/// up with its state file here, and starts its clock).
inline void holderLockSettled() {}
#else
#include "platform/standin/holder_lock_path.h"
#include "platform/standin/iokit.h"
#include "platform/standin/peer_credentials.h"
#include "platform/standin/power_sources.h"
#include "platform/standin/run_loop.h"
#include "platform/standin/system_power.h"
#include "platform/standin/timed_wakes.h"
#endif
