// Reading the values of a CoreFoundation dictionary that the system hands
// over: each by its type, since any of them may be missing or of another.
#pragma once

#include <optional>

#include "smc/platform.h"

/// The value of `key` in `dictionary` when it is of the type `typeID`, not
/// retained; null otherwise.
CFTypeRef valueOfType(CFDictionaryRef dictionary, CFStringRef key, CFTypeID typeID);

/// Whether `key` holds the boolean true.
bool isTrue(CFDictionaryRef dictionary, CFStringRef key);

/// The number under `key` when it fits an int exactly.
std::optional<int> integerOf(CFDictionaryRef dictionary, CFStringRef key);
