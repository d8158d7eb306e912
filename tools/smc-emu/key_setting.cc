#include "key_setting.h"

#include <algorithm>

#include "emu_error.h"
#include "four_printable.h"
#include "response/hex.h"

namespace {

// The SMC keeps a key's size in one byte. Larger than the 32 bytes that a
// block carries on purpose: such keys exist, and the helper must not write them.
constexpr std::size_t kMaxBytes = 255;

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

/// The bytes that `hex` spells, or none when it is not an even number of hex digits.
std::optional<emu::Bytes> bytesOf(std::string_view hex) {
  if (hex.size() % 2 != 0 || !std::all_of(hex.begin(), hex.end(), [](char c) { return hexDigit(c) >= 0; })) {
    return std::nullopt;
  }
  emu::Bytes bytes;
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    bytes.push_back(static_cast<std::uint8_t>(hexDigit(hex[i]) * 16 + hexDigit(hex[i + 1])));
  }
  return bytes;
}

}  // namespace

KeySetting parseKeySetting(std::string_view text) {
  // Names and types are exactly four characters and may hold ':' or '=', so
  // the fields are found by position, not by searching for separators.
  KeySetting setting;
  std::string_view rest;
  if (text.size() >= 5 && text[4] == '=') {
    rest = text.substr(5);
  } else if (text.size() >= 10 && text[4] == ':' && text[9] == '=') {
    setting.type = std::string(text.substr(5, 4));
    rest = text.substr(10);
  } else if (text.size() >= 6 && text[4] == ':' && text[5] == '=') {
    setting.type = std::string(emu::kBlankType);
    rest = text.substr(6);
  } else {
    throw EmuError(quoted(text) +
                   " is not NAME=HEX, NAME:TYPE=HEX or NAME:=HEX with a four-character NAME and TYPE");
  }
  setting.name = std::string(text.substr(0, 4));
  if (!emu::isFourPrintable(setting.name) ||
      (setting.type && *setting.type != emu::kBlankType && !emu::isFourPrintable(*setting.type))) {
    throw EmuError(quoted(text) + ": NAME and TYPE must be printable ASCII characters");
  }
  // HEX holds no '/', so the first one starts the attribute byte.
  if (const std::size_t slash = rest.find('/'); slash != std::string_view::npos) {
    const auto attributes = bytesOf(rest.substr(slash + 1));
    if (!attributes || attributes->size() != 1) {
      throw EmuError(quoted(text) + ": /AA must be the attribute byte as two hex digits");
    }
    setting.attributes = attributes->front();
    rest = rest.substr(0, slash);
  }
  auto value = bytesOf(rest);
  if (!value || value->size() > kMaxBytes) {
    throw EmuError(quoted(text) + ": HEX must be an even number of hex digits, at most 510");
  }
  setting.value = std::move(*value);
  return setting;
}

std::string keySettingText(const std::string& name, const emu::Key& key) {
  const std::string type = key.type == emu::kBlankType ? std::string() : key.type;
  return name + ":" + type + "=" + hexOf(key.value) + "/" +
         hexOf(emu::Bytes{key.attributes});
}

emu::Key keyFrom(const KeySetting& setting, const emu::Key& replaced) {
  return {.type = setting.type.value_or(replaced.type),
          .attributes = setting.attributes.value_or(replaced.attributes),
          .value = setting.value};
}
