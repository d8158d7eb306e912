// CoreFoundation's time and dates (CFDate.h), declared as on macOS, for
// platforms that have no CoreFoundation: the clock that the run loop and the
// timed wakes read, and the date that a timed wake names.
#pragma once

#include "platform/standin/core_foundation.h"

extern "C" {

using CFTimeInterval = double;
/// Seconds since 2001-01-01 00:00:00 UTC.
using CFAbsoluteTime = CFTimeInterval;
using CFDateRef = const CFStandinObject*;

/// The current time: the attached machine's clock, or the real one.
CFAbsoluteTime CFAbsoluteTimeGetCurrent();
/// A date, to release, at `at`.
CFDateRef CFDateCreate(CFAllocatorRef allocator, CFAbsoluteTime at);
/// The time that `theDate` stands for.
CFAbsoluteTime CFDateGetAbsoluteTime(CFDateRef theDate);

}  // extern "C"
