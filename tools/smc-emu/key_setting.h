// One key as the command line and the state file spell it:
// NAME=HEX[/AA], NAME:TYPE=HEX[/AA], or NAME:=HEX[/AA] for a blank type.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/emulated/emulated_mac.h"

/// A key to add or replace.
struct KeySetting {
  std::string name{};
  std::optional<std::string> type{};          ///< none: keep the replaced key's, else "hex_"
  std::optional<std::uint8_t> attributes{};   ///< none: keep the replaced key's, else d4
  emu::Bytes value{};                         ///< the key's size is its length; empty: size 0
};

/// Parses NAME=HEX, NAME:TYPE=HEX or NAME:=HEX (an empty TYPE is the blank
/// type, code 0), each optionally followed by /AA, the attribute byte as two
/// hex digits. HEX: 0 to 255 bytes as hex digits. Throws EmuError saying
/// what is wrong.
KeySetting parseKeySetting(std::string_view text);

/// The key in the form NAME:TYPE=HEX/AA (NAME:=HEX/AA for the blank type),
/// lower-case hex digits.
std::string keySettingText(const std::string& name, const emu::Key& key);

/// `setting` applied over `replaced` (or over a new key): what it leaves out
/// stays as it was.
emu::Key keyFrom(const KeySetting& setting, const emu::Key& replaced = {});
