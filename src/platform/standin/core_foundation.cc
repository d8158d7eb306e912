// The CoreFoundation stand-in: reference-counted records of the few kinds of
// object that the power-source calls and IOKit's matching dictionary need.

#include "platform/standin/core_foundation.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>
#include <variant>

#include "platform/standin/cf_objects.h"

namespace {

enum TypeID : CFTypeID { kString, kNumber, kBoolean, kArray, kDictionary };

using platform::cf::make;
using platform::cf::objectOf;

}  // namespace

extern "C" {

void CFRelease(CFTypeRef object) {
  CFStandinObject* record = objectOf(object);
  if (record->constant || --record->references > 0) return;
  if (auto* array = std::get_if<CFStandinObject::Array>(&record->value)) {
    for (CFStandinObject* entry : *array) CFRelease(entry);
  } else if (auto* dictionary = std::get_if<CFStandinObject::Dictionary>(&record->value)) {
    for (auto& [key, value] : *dictionary) {
      CFRelease(key);
      CFRelease(value);
    }
  }
  delete record;  // NOLINT(cppcoreguidelines-owning-memory)
}

CFTypeID CFGetTypeID(CFTypeRef object) { return objectOf(object)->value.index(); }
CFTypeID CFStringGetTypeID() { return kString; }
CFTypeID CFNumberGetTypeID() { return kNumber; }
CFTypeID CFBooleanGetTypeID() { return kBoolean; }
CFTypeID CFArrayGetTypeID() { return kArray; }
CFTypeID CFDictionaryGetTypeID() { return kDictionary; }

Boolean CFEqual(CFTypeRef first, CFTypeRef second) {
  const CFStandinObject* a = objectOf(first);
  const CFStandinObject* b = objectOf(second);
  if (a == b) return 1;
  // Containers are equal only as the same object: the calls here compare
  // strings, numbers and booleans.
  if (a->value.index() >= kArray) return 0;
  return a->value == b->value ? 1 : 0;
}

CFIndex CFArrayGetCount(CFArrayRef array) {
  return static_cast<CFIndex>(std::get<CFStandinObject::Array>(objectOf(array)->value).size());
}

const void* CFArrayGetValueAtIndex(CFArrayRef array, CFIndex index) {
  return std::get<CFStandinObject::Array>(objectOf(array)->value).at(static_cast<std::size_t>(index));
}

const void* CFDictionaryGetValue(CFDictionaryRef dictionary, const void* key) {
  for (const auto& [name, value] : std::get<CFStandinObject::Dictionary>(objectOf(dictionary)->value)) {
    if (CFEqual(name, key) != 0) return value;
  }
  return nullptr;
}

Boolean CFNumberGetValue(CFNumberRef number, CFNumberType type, void* value) {
  const std::int64_t n = std::get<std::int64_t>(objectOf(number)->value);
  switch (type) {
    case kCFNumberSInt32Type:
    case kCFNumberIntType: {
      // As on macOS: the value is stored cut to the type, and the answer
      // tells whether that lost anything.
      const auto cut = static_cast<std::int32_t>(n);
      *static_cast<std::int32_t*>(value) = cut;
      return cut == n ? 1 : 0;
    }
    case kCFNumberSInt64Type:
    case kCFNumberLongLongType: *static_cast<std::int64_t*>(value) = n; return 1;
    default: return 0;
  }
}

Boolean CFBooleanGetValue(CFBooleanRef boolean) {
  return std::get<bool>(objectOf(boolean)->value) ? 1 : 0;
}

CFStringRef CFStandinConstantString(const char* text) {
  // One record per literal for the whole run, as a constant string is. The
  // literals are few and a run looks each up again and again, so they are
  // found by address, in the order first asked for.
  static std::vector<std::pair<const char*, std::unique_ptr<CFStandinObject>>> constants;
  for (const auto& [literal, record] : constants) {
    if (literal == text) return record.get();
  }
  auto record = std::make_unique<CFStandinObject>(CFStandinObject{.value = std::string(text)});
  record->constant = true;
  return constants.emplace_back(text, std::move(record)).second.get();
}

}  // extern "C"

namespace platform::cf {

Owned makeString(std::string text) { return make(std::move(text)); }
Owned makeNumber(std::int64_t value) { return make(value); }
Owned makeBoolean(bool value) { return make(value); }

Owned makeArray(std::vector<Owned>&& entries) {
  Owned array = make(CFStandinObject::Array{});
  auto& list = std::get<CFStandinObject::Array>(array->value);
  // Nothing can throw once the room is there, so no entry is ever held twice.
  list.reserve(entries.size());
  for (Owned& entry : entries) list.push_back(entry.release());
  return array;
}

Owned makeDictionary(Entries&& entries) {
  Owned dictionary = make(CFStandinObject::Dictionary{});
  auto& list = std::get<CFStandinObject::Dictionary>(dictionary->value);
  list.reserve(entries.size());
  for (auto& [key, value] : entries) list.emplace_back(key.release(), value.release());
  return dictionary;
}

Owned makeDictionary(Owned key, Owned value) {
  CFStandinObject::Dictionary entries;
  entries.reserve(1);
  entries.emplace_back(key.get(), value.get());
  Owned dictionary = make(std::move(entries));
  // Only now that nothing can throw any more do the references pass.
  static_cast<void>(key.release());
  static_cast<void>(value.release());
  return dictionary;
}

Owned retain(CFTypeRef object) {
  CFStandinObject* record = objectOf(object);
  ++record->references;
  return Owned(record);
}

std::optional<std::string> textOf(CFTypeRef object) {
  if (object == nullptr) return std::nullopt;
  if (const auto* text = std::get_if<std::string>(&objectOf(object)->value)) return *text;
  return std::nullopt;
}

bool arrayHolds(CFTypeRef array, CFTypeRef object) {
  if (array == nullptr) return false;
  const auto* entries = std::get_if<CFStandinObject::Array>(&objectOf(array)->value);
  return entries != nullptr && std::ranges::any_of(*entries, [&](const CFStandinObject* entry) { return entry == object; });
}

CFTypeRef valueFor(CFTypeRef dictionary, std::string_view key) {
  if (dictionary == nullptr) return nullptr;
  const auto* entries = std::get_if<CFStandinObject::Dictionary>(&objectOf(dictionary)->value);
  if (entries == nullptr) return nullptr;
  for (const auto& [name, value] : *entries) {
    if (const auto* text = std::get_if<std::string>(&name->value); text != nullptr && *text == key) return value;
  }
  return nullptr;
}

}  // namespace platform::cf
