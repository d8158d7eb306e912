// The CoreFoundation run loop, its timers and its file-descriptor sources
// (CFRunLoop.h, CFFileDescriptor.h), declared as on macOS, for
// platforms that have no CoreFoundation: what a holder that stays needs.
//
// One run loop per process, served on the one thread that calls
// CFRunLoopRun. It waits in real time (poll(2) on the enabled descriptors
// until the next timer) unless the attached machine keeps its own clock:
// then time is the machine's, which moves straight to its next event or to
// the next timer, and the machine's power-source notifications and sleep
// messages are served too (attached_machine.h).
#pragma once

#include "platform/standin/cf_date.h"
#include "platform/standin/core_foundation.h"

extern "C" {

using CFRunLoopRef = CFStandinObject*;
using CFRunLoopSourceRef = CFStandinObject*;
using CFRunLoopTimerRef = CFStandinObject*;
using CFRunLoopMode = CFStringRef;
using CFFileDescriptorRef = CFStandinObject*;
using CFFileDescriptorNativeDescriptor = int;

using CFRunLoopTimerCallBack = void (*)(CFRunLoopTimerRef timer, void* info);
using CFFileDescriptorCallBack = void (*)(CFFileDescriptorRef f, CFOptionFlags callBackTypes, void* info);

/// What the timer's callback receives as `info`; the other members are not
/// called by the stand-in.
struct CFRunLoopTimerContext {
  CFIndex version;
  void* info;
  const void* (*retain)(const void* info);
  void (*release)(const void* info);
  CFStringRef (*copyDescription)(const void* info);
};

/// The same for a file descriptor; note the SDK's non-const `info` here.
struct CFFileDescriptorContext {
  CFIndex version;
  void* info;
  void* (*retain)(void* info);
  void (*release)(void* info);
  CFStringRef (*copyDescription)(void* info);
};

enum : CFOptionFlags { kCFFileDescriptorReadCallBack = 1UL << 0U };

/// The mode that CFRunLoopRun serves; sources and timers added in another
/// are never served.
extern const CFRunLoopMode kCFRunLoopDefaultMode;

/// The process's run loop, not retained.
CFRunLoopRef CFRunLoopGetCurrent();
/// Adds `source`, retained by the run loop until the process ends; adding it
/// again does nothing.
void CFRunLoopAddSource(CFRunLoopRef rl, CFRunLoopSourceRef source, CFRunLoopMode mode);
/// Adds `timer`, retained by the run loop while it is valid.
void CFRunLoopAddTimer(CFRunLoopRef rl, CFRunLoopTimerRef timer, CFRunLoopMode mode);
/// A timer, to release, that fires at `fireDate` and then every `interval`
/// seconds (none when `interval` is 0 or less: it is then invalidated after
/// it fires); `flags` and `order` are ignored, as on macOS.
CFRunLoopTimerRef CFRunLoopTimerCreate(CFAllocatorRef allocator, CFAbsoluteTime fireDate, CFTimeInterval interval,
                                       CFOptionFlags flags, CFIndex order, CFRunLoopTimerCallBack callout,
                                       CFRunLoopTimerContext* context);
/// Serves the run loop until CFRunLoopStop or until it has no source and no
/// timer left: ready descriptors, the machine's notifications and messages,
/// then due timers. A repeating timer that was due more than once (the
/// machine slept) fires once and goes on at the first of its dates after now.
void CFRunLoopRun();
/// Makes CFRunLoopRun return once the callback that it is running returns.
void CFRunLoopStop(CFRunLoopRef rl);

/// A source-to-be on `fd`, to release, with its callbacks disabled.
CFFileDescriptorRef CFFileDescriptorCreate(CFAllocatorRef allocator, CFFileDescriptorNativeDescriptor fd,
                                           Boolean closeOnInvalidate, CFFileDescriptorCallBack callout,
                                           const CFFileDescriptorContext* context);
/// Enables the callback for the descriptor becoming readable, for once: the
/// run loop disables it again before it calls it.
void CFFileDescriptorEnableCallBacks(CFFileDescriptorRef f, CFOptionFlags callBackTypes);
/// Takes `f`'s sources off the run loop for good, and closes its descriptor
/// when it was created with `closeOnInvalidate`.
void CFFileDescriptorInvalidate(CFFileDescriptorRef f);
/// The run-loop source of `f`, to release; it retains `f`.
CFRunLoopSourceRef CFFileDescriptorCreateRunLoopSource(CFAllocatorRef allocator, CFFileDescriptorRef f,
                                                       CFIndex order);

}  // extern "C"

namespace platform {

/// Empties the run loop of every source and timer, and forgets the
/// registrations for system power: for tests, which run many holders in one
/// process, where macOS would have one.
void clearRunLoop();

}  // namespace platform
