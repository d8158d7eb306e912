// How the stand-in makes the CoreFoundation objects that its calls answer
// with, and reads those that its callers hand in.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "platform/standin/cf_date.h"
#include "platform/standin/core_foundation.h"
#include "platform/standin/power_sources.h"
#include "platform/standin/run_loop.h"
#include "platform/standin/system_power.h"

namespace platform::cf {

/// Drops the reference that it holds.
struct Releaser {
  void operator()(CFStandinObject* object) const { CFRelease(object); }
};

/// One reference to an object, dropped unless it is handed on with release().
/// Whatever throws while objects are made (memory running out) frees them.
using Owned = std::unique_ptr<CFStandinObject, Releaser>;
using Entries = std::vector<std::pair<Owned, Owned>>;

// The run loop's records. Each compares member by member only because the
// variant that holds every kind must; CFEqual compares them by identity.

/// The run loop: its state is the stand-in's own (run_loop.cc).
struct RunLoop {
  bool operator==(const RunLoop&) const = default;
};

/// A timer and what it calls.
struct Timer {
  CFAbsoluteTime fireDate = 0;
  CFTimeInterval interval = 0;  ///< 0 or less: fires once
  CFRunLoopTimerCallBack callout = nullptr;
  void* info = nullptr;
  bool valid = true;
  bool operator==(const Timer&) const = default;
};

/// A file descriptor whose readiness a source reports.
struct FileDescriptor {
  int fd = -1;
  CFFileDescriptorCallBack callout = nullptr;
  void* info = nullptr;
  bool readEnabled = false;
  bool closeOnInvalidate = false;
  bool valid = true;
  bool operator==(const FileDescriptor&) const = default;
};

/// A run-loop source: of a file descriptor (which it holds), of the power
/// sources' notifications, or of the sleep and wake messages.
struct Source {
  Owned descriptor{};
  IOPowerSourceCallbackType powerSources = nullptr;
  IOServiceInterestCallback systemPower = nullptr;
  void* context = nullptr;  ///< the refcon or context of either callback
  bool operator==(const Source&) const = default;
};

/// A date, as CFDateCreate makes it.
struct Date {
  CFAbsoluteTime at = 0;
  bool operator==(const Date&) const = default;
};

/// A notification port, which holds its source.
struct Port {
  Owned source{};
  bool operator==(const Port&) const = default;
};

}  // namespace platform::cf

struct CFStandinObject {
  using Array = std::vector<CFStandinObject*>;
  using Dictionary = std::vector<std::pair<CFStandinObject*, CFStandinObject*>>;
  // The index of each kind is its type ID.
  std::variant<std::string, std::int64_t, bool, Array, Dictionary, platform::cf::RunLoop, platform::cf::Timer,
               platform::cf::FileDescriptor, platform::cf::Source, platform::cf::Port, platform::cf::Date>
      value;
  long references = 1;
  bool constant = false;  ///< CFSTR's and the run loop: never freed
};

namespace platform::cf {

/// Keeps a registration for system power (its port) until the process ends,
/// as the system keeps it for a holder that never deregisters.
void keepPort(Owned port);

/// A new record of any kind, made in place: a run makes many, each cheaply.
template <class Record>
Owned make(Record record) {
  return Owned(new CFStandinObject{.value = std::move(record)});  // NOLINT(*-owning-memory)
}

/// The record behind a reference; a null one ends the process, as a null
/// reference does on macOS.
inline CFStandinObject* objectOf(CFTypeRef ref) {
  if (ref == nullptr) std::abort();
  // The stand-in hands out only these records, so every reference is one.
  return const_cast<CFStandinObject*>(static_cast<const CFStandinObject*>(ref));  // NOLINT(*-const-cast)
}

/// A new string, number or boolean.
Owned makeString(std::string text);
Owned makeNumber(std::int64_t value);
Owned makeBoolean(bool value);
/// A new array, or dictionary, that takes over the references of its entries.
Owned makeArray(std::vector<Owned>&& entries);
Owned makeDictionary(Entries&& entries);
/// A new dictionary of one entry, the cheapest to make (IOServiceMatching's).
Owned makeDictionary(Owned key, Owned value);

/// A new reference to `object`.
Owned retain(CFTypeRef object);

/// The text of a string object; none for anything else.
std::optional<std::string> textOf(CFTypeRef object);

/// Whether `object` is an entry of the array `array`.
bool arrayHolds(CFTypeRef array, CFTypeRef object);

/// The value that the string `key` maps to in `dictionary`, or null; makes
/// no object, so it cannot fail.
CFTypeRef valueFor(CFTypeRef dictionary, std::string_view key);

}  // namespace platform::cf
