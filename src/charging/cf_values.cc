#include "charging/cf_values.h"

CFTypeRef valueOfType(CFDictionaryRef dictionary, CFStringRef key, CFTypeID typeID) {
  const CFTypeRef value = CFDictionaryGetValue(dictionary, key);
  return value != nullptr && CFGetTypeID(value) == typeID ? value : nullptr;
}

bool isTrue(CFDictionaryRef dictionary, CFStringRef key) {
  const CFTypeRef value = valueOfType(dictionary, key, CFBooleanGetTypeID());
  return value != nullptr && CFBooleanGetValue(static_cast<CFBooleanRef>(value)) != 0;
}

std::optional<int> integerOf(CFDictionaryRef dictionary, CFStringRef key) {
  const CFTypeRef value = valueOfType(dictionary, key, CFNumberGetTypeID());
  int number{};
  if (value == nullptr || CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberIntType, &number) == 0) {
    return std::nullopt;
  }
  return number;
}
