// The battery's own figures, as its entry in the I/O Registry gives them:
// its wear, its heat and what flows through it. Read without root and without
// the SMC.
#pragma once

#include <optional>
#include <string_view>

#include "response/json_response.h"
#include "smc/platform.h"

/// Where an entry keeps its capacities in mAh, as the line's `layout` names
/// it. Apple silicon up to macOS 26: AppleRawMaxCapacity beside the others at
/// the top level. macOS 27: the BatteryData dictionary, with MaxCapacity a
/// percentage. Intel: MaxCapacity itself.
inline constexpr std::string_view kTopLevelLayout = "top-level";
inline constexpr std::string_view kBatteryDataLayout = "BatteryData";
inline constexpr std::string_view kIntelLayout = "intel";

/// The figures of an entry's `properties`, on Apple silicon or not: the
/// line's own record, so that each figure reaches the line as read, with
/// nominal over design capacity in percent, rounded down (the steady measure
/// of wear; none without both, or with a design of 0). A figure
/// that the entry does not give as an integer, or gives below 0 where it
/// cannot be (all but the temperature and the current), is none: never
/// guessed. The temperature is Temperature, in tenths of a degree rounded
/// down; the adapter's watts count only while one is connected.
BatteryFigures healthOf(CFDictionaryRef properties, bool appleSilicon);

/// The figures of this Mac's AppleSmartBattery entry; none when it has no
/// such entry, or its properties cannot be read.
std::optional<BatteryFigures> readBatteryHealth();
