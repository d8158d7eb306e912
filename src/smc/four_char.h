// Four-character SMC key and type codes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

/// The code of a key name of exactly four bytes, first byte in the most
/// significant position. Any other length is a programming error and aborts.
std::uint32_t fourChar(std::string_view name);

/// The four characters of `code`, each byte read as the code point U+0000 to
/// U+00FF and written as UTF-8 (4 to 8 bytes).
std::string toFourChar(std::uint32_t code);

/// A key's type code, value size and attribute byte, as the SMC reports them.
struct DataType {
  std::uint32_t type{};       ///< four-character type code
  std::uint32_t size{};       ///< number of value bytes
  std::uint8_t attributes{};  ///< 0x80: readable, 0x40: writable; only reported
};
