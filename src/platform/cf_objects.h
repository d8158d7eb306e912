// How the stand-in makes the CoreFoundation objects that its calls answer
// with, and reads those that its callers hand in.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/core_foundation.h"

namespace platform::cf {

/// Drops the reference that it holds.
struct Releaser {
  void operator()(CFStandinObject* object) const { CFRelease(object); }
};

/// One reference to an object, dropped unless it is handed on with release().
/// Whatever throws while objects are made (memory running out) frees them.
using Owned = std::unique_ptr<CFStandinObject, Releaser>;
using Entries = std::vector<std::pair<Owned, Owned>>;

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
