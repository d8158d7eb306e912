// The CoreFoundation names that the IOKit calls and the power-source reading
// use, declared as on macOS, for platforms that have no CoreFoundation.
//
// Every object is one stand-in record behind the SDK's reference types; a
// string, a number, a boolean, an array or a dictionary, or one of the run
// loop's objects (run_loop.h), counted by reference. CFSTR makes a constant string that lives as long as the process,
// as the compiler's constant strings do on macOS.
#pragma once

#include <cstdint>

extern "C" {

/// The one record behind every reference type of the stand-in.
struct CFStandinObject;

using CFTypeRef = const void*;
using CFIndex = long;
using CFTypeID = unsigned long;
using Boolean = unsigned char;
using CFStringRef = const CFStandinObject*;
using CFArrayRef = const CFStandinObject*;
using CFDictionaryRef = const CFStandinObject*;
using CFMutableDictionaryRef = CFStandinObject*;
using CFNumberRef = const CFStandinObject*;
using CFBooleanRef = const CFStandinObject*;
using CFNumberType = CFIndex;
using CFOptionFlags = unsigned long;
using CFAllocatorRef = const CFStandinObject*;

inline constexpr CFNumberType kCFNumberSInt32Type = 3;
inline constexpr CFNumberType kCFNumberSInt64Type = 4;
inline constexpr CFNumberType kCFNumberIntType = 9;
inline constexpr CFNumberType kCFNumberLongLongType = 11;

/// Drops one reference; the last one frees the object (and its references to
/// the objects it holds). A null reference ends the process, as on macOS.
void CFRelease(CFTypeRef object);
/// The type of `object`, to compare with the type functions below.
CFTypeID CFGetTypeID(CFTypeRef object);
CFTypeID CFStringGetTypeID();
CFTypeID CFNumberGetTypeID();
CFTypeID CFBooleanGetTypeID();
CFTypeID CFArrayGetTypeID();
CFTypeID CFDictionaryGetTypeID();
/// Whether two objects are of one type with equal contents.
Boolean CFEqual(CFTypeRef first, CFTypeRef second);
CFIndex CFArrayGetCount(CFArrayRef array);
/// The entry at `index`, not retained.
const void* CFArrayGetValueAtIndex(CFArrayRef array, CFIndex index);
/// The value that `key` maps to, not retained; null when there is none.
const void* CFDictionaryGetValue(CFDictionaryRef dictionary, const void* key);
/// Stores the number as `type` at `value`; false when it does not fit exactly.
Boolean CFNumberGetValue(CFNumberRef number, CFNumberType type, void* value);
Boolean CFBooleanGetValue(CFBooleanRef boolean);

/// The constant string behind CFSTR: one for each address of `text`, which
/// lives for the whole run (a literal, as CFSTR's argument is).
CFStringRef CFStandinConstantString(const char* text);

}  // extern "C"

#define CFSTR(text) CFStandinConstantString("" text "")  // NOLINT(cppcoreguidelines-macro-usage)
