// The holder that stays: one process, one thread and one run loop that runs
// hold's decision at each event of the system's power, instead of a job
// that launchd starts every minute and cannot ask to act before a sleep or
// to restore the Mac when it is stopped.
#pragma once

#include <string>

#include "charging/hold.h"

/// The line of a holder that cannot start (its stop signals or its lock).
inline constexpr std::string_view kHolderUnavailableCode = "HOLDER_UNAVAILABLE";
inline constexpr std::string_view kHolderUnavailableMessage = "unable to start the holder";

/// Holds `band` until a stop signal (SIGTERM, SIGINT, SIGHUP), printing the
/// line of `command` at each event: first it waits until no other holder of
/// this Mac lives (a stop then ends it with a stop line that wrote nothing),
/// then decides at its start, at each change of the power sources, before
/// each sleep (and lets the sleep go on, whatever the decision did), at each
/// wake and every 60 seconds. The start, sleep, wake and stop lines are
/// always printed, the others only when they wrote or failed. A stop turns
/// the adapter and then charging on, prints its line and ends the process
/// with status 0 when that held, 1 otherwise.
[[noreturn]] void runHoldDaemon(const std::string& command, Band band);
