// The date stand-in: the clock of the attached machine, or the real one, and
// date records that hold a time.

#include "platform/standin/cf_date.h"

#include <chrono>

#include "platform/attached_machine.h"
#include "platform/standin/cf_objects.h"

namespace {

/// Seconds from the Unix epoch to 2001-01-01 00:00:00 UTC.
constexpr double kUnixToAbsolute = 978'307'200;

}  // namespace

extern "C" {

CFAbsoluteTime CFAbsoluteTimeGetCurrent() {
  if (platform::Machine* machine = platform::attachedMachine(); machine != nullptr) {
    if (const auto clock = machine->clock()) return *clock;
  }
  const auto since = std::chrono::system_clock::now().time_since_epoch();
  return std::chrono::duration<double>(since).count() - kUnixToAbsolute;
}

CFDateRef CFDateCreate(CFAllocatorRef /*allocator*/, CFAbsoluteTime at) {
  return platform::cf::make(platform::cf::Date{.at = at}).release();
}

CFAbsoluteTime CFDateGetAbsoluteTime(CFDateRef theDate) {
  return std::get<platform::cf::Date>(platform::cf::objectOf(theDate)->value).at;
}

}  // extern "C"
