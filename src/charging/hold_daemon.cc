#include "charging/hold_daemon.h"

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <stdexcept>

#include "charging/cf_owned.h"
#include "charging/holder_lock.h"
#include "charging/stop_signals.h"
#include "response/print_json.h"
#include "smc/platform.h"

namespace {

/// The backstop's interval, in seconds: a change that no notification told
/// is seen within a minute.
constexpr CFTimeInterval kBackstop = 60;

/// What the callbacks share, for the life of the process.
struct Holder {
  std::string command{};
  Band band{};
  int stopPipe{};
  io_connect_t rootDomain{};  ///< where sleep messages are answered
};

Holder& holderOf(void* info) { return *static_cast<Holder*>(info); }

/// Decides at `event` and prints the line (unless `always` is false and it
/// neither wrote nor failed); its status. Memory running out prints the
/// fallback line, and the holder goes on to the next event.
int decide(const Holder& holder, HolderEvent event, bool always) noexcept {
  try {
    const JsonResponse line = holderResponse(holder.command, holder.band, event);
    if (always || !line.ok || (line.writes && !line.writes->empty())) return printLine(line);
    return 0;
  } catch (...) {
    writeAll(STDOUT_FILENO, kFallbackLine);
    return 1;
  }
}

/// Restores the Mac, prints the stop line and ends the process with its
/// status. Only a stop signal puts anything in the pipe, so its callback
/// needs to read nothing.
[[noreturn]] void stop(const Holder& holder) { std::exit(decide(holder, HolderEvent::stop, true)); }

void onStop(CFFileDescriptorRef /*descriptor*/, CFOptionFlags /*types*/, void* info) { stop(holderOf(info)); }

void onTimer(CFRunLoopTimerRef /*timer*/, void* info) { decide(holderOf(info), HolderEvent::timer, false); }

void onPowerSources(void* context) { decide(holderOf(context), HolderEvent::power, false); }

void onSystemPower(void* refcon, io_service_t /*service*/, uint32_t messageType, void* messageArgument) {
  Holder& holder = holderOf(refcon);
  // The notification's ID travels as the argument's pointer value.
  const auto notification = reinterpret_cast<intptr_t>(messageArgument);  // NOLINT(*-reinterpret-cast)
  switch (messageType) {
    case kIOMessageCanSystemSleep: IOAllowPowerChange(holder.rootDomain, notification); break;
    case kIOMessageSystemWillSleep:
      decide(holder, HolderEvent::sleep, true);
      // Whatever the decision did: unanswered, the Mac would sleep anyway
      // 30 seconds later, and a holder never keeps it awake.
      IOAllowPowerChange(holder.rootDomain, notification);
      break;
    case kIOMessageSystemHasPoweredOn: decide(holder, HolderEvent::wake, true); break;
    default: break;
  }
}

/// The line of a holder that cannot start; it has written nothing.
[[noreturn]] void unavailable(const Holder& holder) {
  printJson({.ok = false, .command = holder.command, .event = "start", .code = std::string(kHolderUnavailableCode),
             .error = std::string(kHolderUnavailableMessage), .writes = WriteList{}});
}

/// Puts the holder's sources and its timer on this thread's run loop; throws
/// when its stop cannot be heard there. A Mac that tells no power change or
/// no sleep still has the timer, so those are left out where they fail.
void listen(Holder& holder) {
  const CFRunLoopRef loop = CFRunLoopGetCurrent();
  CFFileDescriptorContext stopContext{.version = {}, .info = &holder, .retain = nullptr, .release = nullptr,
                                      .copyDescription = nullptr};
  // Each object made here is the run loop's once added (a source keeps its
  // descriptor): the holder's own references go when this returns, or throws.
  const CFOwned<CFFileDescriptorRef> stops(
      CFFileDescriptorCreate(nullptr, holder.stopPipe, /*closeOnInvalidate=*/Boolean{}, onStop, &stopContext));
  const CFOwned<CFRunLoopSourceRef> stopSource(
      stops ? CFFileDescriptorCreateRunLoopSource(nullptr, stops.get(), CFIndex{}) : nullptr);
  if (!stopSource) throw std::runtime_error("the stop signals cannot be heard");
  CFFileDescriptorEnableCallBacks(stops.get(), kCFFileDescriptorReadCallBack);
  CFRunLoopAddSource(loop, stopSource.get(), kCFRunLoopDefaultMode);

  if (const CFOwned<CFRunLoopSourceRef> power(IOPSNotificationCreateRunLoopSource(onPowerSources, &holder)); power) {
    CFRunLoopAddSource(loop, power.get(), kCFRunLoopDefaultMode);
  }
  IONotificationPortRef port = nullptr;
  io_object_t notifier{};
  holder.rootDomain = IORegisterForSystemPower(&holder, &port, onSystemPower, &notifier);
  if (holder.rootDomain != io_connect_t{}) {
    CFRunLoopAddSource(loop, IONotificationPortGetRunLoopSource(port), kCFRunLoopDefaultMode);
  }

  CFRunLoopTimerContext timerContext{.version = {}, .info = &holder, .retain = nullptr, .release = nullptr,
                                     .copyDescription = nullptr};
  if (const CFOwned<CFRunLoopTimerRef> timer(CFRunLoopTimerCreate(nullptr, CFAbsoluteTimeGetCurrent() + kBackstop,
                                                                  kBackstop, CFOptionFlags{}, CFIndex{}, onTimer,
                                                                  &timerContext));
      timer) {
    CFRunLoopAddTimer(loop, timer.get(), kCFRunLoopDefaultMode);
  }
}

}  // namespace

void runHoldDaemon(const std::string& command, Band band) {
  // The callbacks reach it until the process ends.
  static Holder holder;
  holder.command = command;
  holder.band = band;
  // The stop is heard from the first moment: also while another holder lives.
  holder.stopPipe = openStopPipe();
  if (holder.stopPipe == -1) unavailable(holder);
  switch (waitForHolderLock(holder.stopPipe)) {
    case LockWait::failed: unavailable(holder);
    case LockWait::stopped:
      printJson({.ok = true, .command = command, .event = "stop", .writes = WriteList{}});
    case LockWait::held: break;
  }
  try {
    listen(holder);
  } catch (...) {
    // A holder that cannot hear its stop must not take charge (and only the
    // stand-in allocates here, and may run out of memory).
    unavailable(holder);
  }
  decide(holder, HolderEvent::start, true);
  CFRunLoopRun();
  // It returns only once no source is left, which no holder lets happen.
  stop(holder);
}
