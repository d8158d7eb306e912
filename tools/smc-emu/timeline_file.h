// The timeline file: what happens to the emulated Mac, one event a line,
//
//   # comment lines and blank lines are ignored
//   0 unplug               MINUTE WORD, minutes from the start, in order
//   90 battery 40          battery takes the level it is set to, 0 to 100
//   600 temp 36.5          the battery's temperature, in degrees Celsius
//   480 sleep
//   700 dark               a dark wake: the process runs, the display dark
//   960 wake
//   1000 band 70 80 as user  a caller asks the holder for a band: LOWER UPPER
//                          or full, as root, admin or user (default admin)
//   1010 holder            a caller asks what the holder holds
//   1440 stop              the last line: SIGTERM to the process
//
// checked as a whole, against the machine that it starts from, before
// anything runs.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/emulated/emulated_time.h"

/// The last minute that a timeline may name: a year.
inline constexpr int kTimelineMostMinutes = 525'600;

/// The events of `text` for a machine that has a battery or not, starts
/// `plugged` in or not, and whose holder a caller can reach or not (it has
/// a state file). Throws EmuError naming the line at fault.
std::vector<emu::TimelineEvent> parseTimeline(std::string_view text, bool hasBattery, bool plugged,
                                              bool reachesHolder);

/// The events of the file `path` (parseTimeline). Throws EmuError.
std::vector<emu::TimelineEvent> loadTimelineFile(const std::string& path, bool hasBattery, bool plugged,
                                                 bool reachesHolder);
