// The power-source stand-in: the attached machine's descriptions, as
// CoreFoundation objects that the caller releases.

#include "platform/standin/power_sources.h"

#include <variant>

#include "platform/attached_machine.h"
#include "platform/standin/cf_objects.h"

namespace {

platform::cf::Owned valueObject(const platform::PowerValue& value) {
  if (const auto* flag = std::get_if<bool>(&value)) return platform::cf::makeBoolean(*flag);
  if (const auto* number = std::get_if<std::int64_t>(&value)) return platform::cf::makeNumber(*number);
  return platform::cf::makeString(std::get<std::string>(value));
}

}  // namespace

extern "C" {

CFTypeRef IOPSCopyPowerSourcesInfo() {
  // The information is the list of descriptions itself; the handles that
  // IOPSCopyPowerSourcesList gives are its entries.
  std::vector<platform::cf::Owned> sources;
  if (platform::Machine* machine = platform::attachedMachine(); machine != nullptr) {
    const auto described = machine->powerSources();
    if (!described) return nullptr;
    for (const platform::PowerSourceDescription& description : *described) {
      platform::cf::Entries entries;
      for (const auto& [key, value] : description) {
        entries.emplace_back(platform::cf::makeString(key), valueObject(value));
      }
      sources.push_back(platform::cf::makeDictionary(std::move(entries)));
    }
  }
  return platform::cf::makeArray(std::move(sources)).release();
}

CFArrayRef IOPSCopyPowerSourcesList(CFTypeRef blob) {
  if (blob == nullptr) return nullptr;
  std::vector<platform::cf::Owned> handles;
  const CFArrayRef sources = static_cast<CFArrayRef>(blob);
  for (CFIndex i = 0; i < CFArrayGetCount(sources); ++i) {
    handles.push_back(platform::cf::retain(CFArrayGetValueAtIndex(sources, i)));
  }
  return platform::cf::makeArray(std::move(handles)).release();
}

CFDictionaryRef IOPSGetPowerSourceDescription(CFTypeRef blob, CFTypeRef ps) {
  if (!platform::cf::arrayHolds(blob, ps)) return nullptr;
  return static_cast<CFDictionaryRef>(ps);
}

CFRunLoopSourceRef IOPSNotificationCreateRunLoopSource(IOPowerSourceCallbackType callback, void* context) {
  if (callback == nullptr) return nullptr;
  return platform::cf::make(platform::cf::Source{.powerSources = callback, .context = context}).release();
}

}  // extern "C"
