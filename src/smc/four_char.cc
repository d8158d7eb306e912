#include "smc/four_char.h"

#include <cstdlib>

std::uint32_t fourChar(std::string_view name) {
  // Every name this program passes is a four-letter literal, so a wrong
  // length is a bug. Abort without a word: standard error must stay silent.
  if (name.size() != 4) std::abort();
  std::uint32_t code{};
  for (const char c : name) code = (code << 8U) | static_cast<unsigned char>(c);
  return code;
}

std::string toFourChar(std::uint32_t code) {
  std::string name;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const auto byte = static_cast<unsigned char>((code >> static_cast<unsigned>(shift)) & 0xFFU);
    if (byte < 0x80) {
      name += static_cast<char>(byte);
    } else {
      name += static_cast<char>(0xC0U | (byte >> 6U));
      name += static_cast<char>(0x80U | (byte & 0x3FU));
    }
  }
  return name;
}
