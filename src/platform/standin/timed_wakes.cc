// The timed-wake stand-in: checks the arguments as the call would, then hands
// the request to the attached machine.

#include "platform/standin/timed_wakes.h"

#include <cmath>
#include <optional>
#include <string>
#include <string_view>

#include "platform/attached_machine.h"
#include "platform/standin/cf_objects.h"

namespace {

/// The text of a string object, read in place: a call that allocates nothing
/// cannot run out of memory before the machine hears of it.
std::optional<std::string_view> textIn(CFStringRef string) {
  if (string == nullptr) return std::nullopt;
  const auto* text = std::get_if<std::string>(&platform::cf::objectOf(string)->value);
  return text != nullptr ? std::optional<std::string_view>(*text) : std::nullopt;
}

/// The answer of the machine's `member` to the request, or of the call
/// itself: kIOReturnBadArgument where an argument is missing or not of its
/// type, or the date names no time; success with no machine attached.
template <class Member>
IOReturn handOn(CFDateRef date, CFStringRef id, CFStringRef type, Member member) {
  if (date == nullptr) return kIOReturnBadArgument;
  const auto* at = std::get_if<platform::cf::Date>(&platform::cf::objectOf(date)->value);
  const auto idText = textIn(id);
  const auto typeText = textIn(type);
  if (at == nullptr || std::isnan(at->at) || !idText || !typeText) return kIOReturnBadArgument;
  platform::Machine* machine = platform::attachedMachine();
  return machine == nullptr ? kIOReturnSuccess : (machine->*member)(at->at, *idText, *typeText);
}

}  // namespace

extern "C" {

IOReturn IOPMSchedulePowerEvent(CFDateRef time_to_wake, CFStringRef my_id, CFStringRef type) {
  return handOn(time_to_wake, my_id, type, &platform::Machine::schedulePowerEvent);
}

IOReturn IOPMCancelScheduledPowerEvent(CFDateRef time_to_wake, CFStringRef my_id, CFStringRef type) {
  return handOn(time_to_wake, my_id, type, &platform::Machine::cancelScheduledPowerEvent);
}

}  // extern "C"
