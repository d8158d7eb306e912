// One key as the command line and the state file spell it: NAME=HEX or
// NAME:TYPE=HEX.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/emulated_mac.h"

/// A key to add or replace.
struct KeySetting {
  std::string name;
  std::optional<std::string> type;  ///< none: keep the replaced key's, else "hex_"
  emu::Bytes value;                 ///< the key's size is its length; empty: size 0
};

/// Parses NAME=HEX or NAME:TYPE=HEX (HEX: 0 to 64 hex digits, an even number).
/// Throws EmuError saying what is wrong.
KeySetting parseKeySetting(std::string_view text);

/// The key in the form NAME:TYPE=HEX, lower-case hex digits.
std::string keySettingText(const std::string& name, const emu::Key& key);
