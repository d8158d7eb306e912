#include "key_setting.h"

#include <algorithm>

#include "emu_error.h"
#include "four_printable.h"
#include "response/hex.h"

namespace {

constexpr std::size_t kMaxHexDigits = 64;  // the 32 bytes of the driver's value field

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

KeySetting parseKeySetting(std::string_view text) {
  // Names and types are exactly four characters and may hold ':' or '=', so
  // the fields are found by position, not by searching for separators.
  KeySetting setting;
  std::string_view hex;
  if (text.size() >= 5 && text[4] == '=') {
    hex = text.substr(5);
  } else if (text.size() >= 10 && text[4] == ':' && text[9] == '=') {
    setting.type = std::string(text.substr(5, 4));
    hex = text.substr(10);
  } else {
    throw EmuError(quoted(text) + " is not NAME=HEX or NAME:TYPE=HEX with a four-character NAME and TYPE");
  }
  setting.name = std::string(text.substr(0, 4));
  if (!emu::isFourPrintable(setting.name) || (setting.type && !emu::isFourPrintable(*setting.type))) {
    throw EmuError(quoted(text) + ": NAME and TYPE must be printable ASCII characters");
  }
  if (hex.size() % 2 != 0 || hex.size() > kMaxHexDigits ||
      !std::all_of(hex.begin(), hex.end(), [](char c) { return hexDigit(c) >= 0; })) {
    throw EmuError(quoted(text) + ": HEX must be an even number of hex digits, at most 64");
  }
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    setting.value.push_back(static_cast<std::uint8_t>(hexDigit(hex[i]) * 16 + hexDigit(hex[i + 1])));
  }
  return setting;
}

std::string keySettingText(const std::string& name, const emu::Key& key) {
  return name + ":" + key.type + "=" + hexOf(key.value);
}
