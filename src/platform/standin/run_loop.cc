// The run-loop stand-in: one run loop for the process, its timers, its
// file-descriptor sources, and the attached machine's system events.

#include "platform/standin/run_loop.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <optional>
#include <vector>

#include "platform/attached_machine.h"
#include "platform/standin/cf_objects.h"

namespace {

using platform::cf::Owned;

/// What the run loop holds. Never freed: the holder that runs it ends the
/// process from within it.
struct Loop {
  std::vector<Owned> sources;
  std::vector<Owned> timers;
  std::vector<Owned> ports;  ///< every registration for system power
  bool stopped = false;
};

Loop& loop() {
  static Loop* const instance = new Loop;  // NOLINT(cppcoreguidelines-owning-memory)
  return *instance;
}

template <class Record>
Record* recordOf(CFTypeRef ref) {
  return std::get_if<Record>(&platform::cf::objectOf(ref)->value);
}

/// Adds a new reference to `object` to `list`, unless it is there already.
void hold(std::vector<Owned>& list, CFTypeRef object) {
  if (std::none_of(list.begin(), list.end(), [&](const Owned& held) { return held.get() == object; })) {
    list.push_back(platform::cf::retain(object));
  }
}

/// The sources whose descriptors have their read callback enabled.
std::vector<Owned> watched() {
  std::vector<Owned> found;
  for (const Owned& source : loop().sources) {
    const auto* descriptor = recordOf<platform::cf::Source>(source.get())->descriptor.get();
    if (descriptor != nullptr && recordOf<platform::cf::FileDescriptor>(descriptor)->readEnabled) {
      found.push_back(platform::cf::retain(source.get()));
    }
  }
  return found;
}

/// Waits up to `timeout` milliseconds (-1: without end) for a watched
/// descriptor to be readable, then calls the callback of each that is, once
/// disabled, as macOS does. Whether any was called.
bool serveDescriptors(int timeout) {
  const std::vector<Owned> sources = watched();
  std::vector<pollfd> polled;
  polled.reserve(sources.size());
  for (const Owned& source : sources) {
    const auto* descriptor = recordOf<platform::cf::Source>(source.get())->descriptor.get();
    polled.push_back({.fd = recordOf<platform::cf::FileDescriptor>(descriptor)->fd, .events = POLLIN, .revents = 0});
  }
  // A signal ends the wait (EINTR): its handler may have written to a
  // watched pipe, which the next pass finds ready.
  if (poll(polled.data(), static_cast<nfds_t>(polled.size()), timeout) <= 0) return false;
  bool served = false;
  for (std::size_t i = 0; i < sources.size(); ++i) {
    if (polled[i].revents == 0) continue;
    CFStandinObject* descriptor = recordOf<platform::cf::Source>(sources[i].get())->descriptor.get();
    auto* record = recordOf<platform::cf::FileDescriptor>(descriptor);
    // One that an earlier callback of this pass invalidated is gone, and its
    // number may already name another descriptor.
    if (!record->valid) continue;
    record->readEnabled = false;
    // A descriptor that is not open can never be read: left disabled.
    if ((polled[i].revents & POLLNVAL) != 0) continue;
    record->callout(descriptor, kCFFileDescriptorReadCallBack, record->info);
    served = true;
  }
  return served;
}

/// The earliest fire date of the valid timers.
std::optional<CFAbsoluteTime> nextFireDate() {
  std::optional<CFAbsoluteTime> next;
  for (const Owned& timer : loop().timers) {
    const auto* record = recordOf<platform::cf::Timer>(timer.get());
    if (record->valid && (!next || record->fireDate < *next)) next = record->fireDate;
  }
  return next;
}

/// Fires each timer that is due, once, earliest first; a repeating one goes
/// on at the first of its dates after now, one that does not leaves the run
/// loop. Whether any fired.
bool fireDueTimers() {
  const CFAbsoluteTime now = CFAbsoluteTimeGetCurrent();
  std::vector<Owned> due;
  for (const Owned& timer : loop().timers) {
    const auto* record = recordOf<platform::cf::Timer>(timer.get());
    if (record->valid && record->fireDate <= now) due.push_back(platform::cf::retain(timer.get()));
  }
  std::sort(due.begin(), due.end(), [](const Owned& a, const Owned& b) {
    return recordOf<platform::cf::Timer>(a.get())->fireDate < recordOf<platform::cf::Timer>(b.get())->fireDate;
  });
  for (const Owned& timer : due) {
    auto* record = recordOf<platform::cf::Timer>(timer.get());
    if (record->interval > 0) {
      record->fireDate += record->interval * (std::floor((now - record->fireDate) / record->interval) + 1);
    } else {
      record->valid = false;
      // cppcheck-suppress mismatchingContainers ; pointers compared, no iterator
      std::erase_if(loop().timers, [&](const Owned& held) { return held.get() == timer.get(); });
    }
    record->callout(timer.get(), record->info);
  }
  return !due.empty();
}

/// Hands a system event to every source that takes it.
void deliver(const platform::SystemEvent& event) {
  std::vector<Owned> sources;
  for (const Owned& source : loop().sources) sources.push_back(platform::cf::retain(source.get()));
  for (const Owned& source : sources) {
    const auto* record = recordOf<platform::cf::Source>(source.get());
    if (event.kind == platform::SystemEvent::Kind::powerSources && record->powerSources != nullptr) {
      record->powerSources(record->context);
    } else if (event.kind == platform::SystemEvent::Kind::systemPower && record->systemPower != nullptr) {
      record->systemPower(record->context, platform::kRootDomainService, event.message,
                          reinterpret_cast<void*>(event.notificationID));  // NOLINT(*-reinterpret-cast,performance-no-int-to-ptr): the SDK's own
    }
  }
}

/// Waits in real time for a descriptor, a signal or the next timer.
void waitInRealTime() {
  int timeout = -1;
  if (const auto next = nextFireDate()) {
    const double ms = std::ceil((*next - CFAbsoluteTimeGetCurrent()) * 1000);
    timeout = static_cast<int>(std::clamp(ms, 0.0, static_cast<double>(INT_MAX)));
  }
  serveDescriptors(timeout);
}

}  // namespace

extern "C" {

// The default mode is one record, made by the compiler, and told by its
// address: a string record would be made by an allocation before main, at
// every start of every command, whether or not a run loop ever runs.
namespace {
constinit CFStandinObject defaultMode{.value = std::int64_t{0}, .constant = true};
}  // namespace
const CFRunLoopMode kCFRunLoopDefaultMode = &defaultMode;

CFRunLoopRef CFRunLoopGetCurrent() {
  static CFStandinObject* const current = [] {
    CFStandinObject* record = platform::cf::make(platform::cf::RunLoop{}).release();
    record->constant = true;
    return record;
  }();
  return current;
}

// cppcheck-suppress constParameter ; the SDK's own signature
void CFRunLoopAddSource(CFRunLoopRef rl, CFRunLoopSourceRef source, CFRunLoopMode mode) {
  if (rl != CFRunLoopGetCurrent() || recordOf<platform::cf::Source>(source) == nullptr ||
      mode != kCFRunLoopDefaultMode) {
    return;
  }
  hold(loop().sources, source);
}

// cppcheck-suppress constParameter ; the SDK's own signature
void CFRunLoopAddTimer(CFRunLoopRef rl, CFRunLoopTimerRef timer, CFRunLoopMode mode) {
  const auto* record = recordOf<platform::cf::Timer>(timer);
  if (rl != CFRunLoopGetCurrent() || record == nullptr || !record->valid ||
      mode != kCFRunLoopDefaultMode) {
    return;
  }
  hold(loop().timers, timer);
}

CFRunLoopTimerRef CFRunLoopTimerCreate(CFAllocatorRef /*allocator*/, CFAbsoluteTime fireDate,
                                       CFTimeInterval interval, CFOptionFlags /*flags*/, CFIndex /*order*/,
                                       CFRunLoopTimerCallBack callout, CFRunLoopTimerContext* context) {
  return platform::cf::make(platform::cf::Timer{.fireDate = fireDate, .interval = interval, .callout = callout,
                                                .info = context != nullptr ? context->info : nullptr})
      .release();
}

void CFRunLoopRun() {
  Loop& state = loop();
  state.stopped = false;
  while (!state.stopped && (!state.sources.empty() || !state.timers.empty())) {
    platform::Machine* machine = platform::attachedMachine();
    const bool virtualTime = machine != nullptr && machine->clock().has_value();
    // What is ready now first, then what the machine sends now, then the
    // timers due now; only then does time move on.
    if (serveDescriptors(0)) continue;
    if (virtualTime) {
      if (const auto event = machine->nextSystemEvent()) {
        deliver(*event);
        continue;
      }
    }
    if (fireDueTimers()) continue;
    if (!virtualTime) {
      waitInRealTime();
    } else if (!machine->advance(nextFireDate())) {
      return;
    }
  }
}

// cppcheck-suppress constParameter ; the SDK's own signature
void CFRunLoopStop(CFRunLoopRef rl) {
  if (rl == CFRunLoopGetCurrent()) loop().stopped = true;
}

CFFileDescriptorRef CFFileDescriptorCreate(CFAllocatorRef /*allocator*/, CFFileDescriptorNativeDescriptor fd,
                                           Boolean closeOnInvalidate, CFFileDescriptorCallBack callout,
                                           const CFFileDescriptorContext* context) {
  return platform::cf::make(platform::cf::FileDescriptor{.fd = fd,
                                                         .callout = callout,
                                                         .info = context != nullptr ? context->info : nullptr,
                                                         .closeOnInvalidate = closeOnInvalidate != 0})
      .release();
}

void CFFileDescriptorInvalidate(CFFileDescriptorRef f) {
  auto* record = recordOf<platform::cf::FileDescriptor>(f);
  if (record == nullptr || !record->valid) return;
  record->valid = false;
  record->readEnabled = false;
  // cppcheck-suppress mismatchingContainers ; pointers compared, no iterator
  std::erase_if(loop().sources, [&](const Owned& source) {
    return recordOf<platform::cf::Source>(source.get())->descriptor.get() == f;
  });
  if (record->closeOnInvalidate) close(record->fd);
}

void CFFileDescriptorEnableCallBacks(CFFileDescriptorRef f, CFOptionFlags callBackTypes) {
  if (auto* record = recordOf<platform::cf::FileDescriptor>(f);
      record != nullptr && record->valid && (callBackTypes & kCFFileDescriptorReadCallBack) != 0) {
    record->readEnabled = true;
  }
}

CFRunLoopSourceRef CFFileDescriptorCreateRunLoopSource(CFAllocatorRef /*allocator*/, CFFileDescriptorRef f,
                                                       CFIndex /*order*/) {
  if (recordOf<platform::cf::FileDescriptor>(f) == nullptr) return nullptr;
  return platform::cf::make(platform::cf::Source{.descriptor = platform::cf::retain(f)}).release();
}

}  // extern "C"

namespace platform {

void cf::keepPort(cf::Owned port) { loop().ports.push_back(std::move(port)); }

void clearRunLoop() {
  Loop& state = loop();
  state.sources.clear();
  state.timers.clear();
  state.ports.clear();
  state.stopped = false;
}

}  // namespace platform
