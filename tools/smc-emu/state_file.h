// The state file: an emulated machine as plain text, so that consecutive
// runs see earlier writes and a person can read and edit it.
//
//   # comment lines and blank lines are ignored
//   arch arm64               what hw.optional.arm64 answers: arm64, x86_64 or absent
//   driver present           or absent: no AppleSMC service at all
//   battery 60.5             the internal battery's level in percent (one decimal
//                            at most), or none; a file without the line has none
//   battery-entry BatteryData 112 4382 4107 4050 30.56
//                            the battery's registry entry: its layout, cycle count,
//                            design, nominal and full-charge capacity (mAh) and
//                            temperature (Celsius), each figure a number or none;
//                            written with a battery; a file without it has the
//                            default entry (top-level 112 4382 4107 4050 30.56)
//   key CHTE:ui32=01000000/d4  one line per key, NAME:TYPE=HEX/AA as --key takes it
//                            (a file without /AA, written before, reads as d4)
//   refused CH0J             one line per key that the firmware refuses to everyone
//
// "arch" and "driver" stand exactly once each; "battery", "battery-entry", a
// key, and a refused key, at most once.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/emulated/machine_catalog.h"

/// The lines that describe `state`, each ending in a line feed: arch, driver,
/// battery (and its entry, with one), the keys, then the refused keys, each in
/// byte order of their names.
std::string stateLines(const emu::MachineState& state);

/// The whole file for `state`: a comment that explains the format, then its lines.
std::string stateText(const emu::MachineState& state);

/// The state that `text` describes. Throws EmuError naming the line at fault.
emu::MachineState parseState(std::string_view text);

/// The state held in the file `path`, or none when there is no such file.
/// Throws EmuError when the file cannot be read or is malformed.
std::optional<emu::MachineState> loadStateFile(const std::string& path);

/// Checks, before the helper runs, that `state` can be saved to `given`:
/// writes it to a temporary file where a save would, then removes that.
/// Throws EmuError saying what stands in the way (a folder that takes no
/// new file, a size limit, a full disk).
void checkStateSaveable(const std::string& given, const emu::MachineState& state);

/// Replaces the file `given` (where its links point) with `state` in one
/// step: the text goes to a temporary file in the same folder, flushed to the
/// disk, which is then renamed over it, and the folder is flushed; a reader,
/// or a machine that crashes, sees the old file or the new one, never a part.
/// Throws EmuError.
void saveStateFile(const std::string& given, const emu::MachineState& state);
