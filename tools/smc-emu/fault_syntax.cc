#include "fault_syntax.h"

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <string>

namespace emu {

namespace {

template <class T>
bool parseNumber(std::string_view text, T& out) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    base = 16;
  }
  if (text.empty()) return false;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out, base);
  return ec == std::errc() && end == text.data() + text.size();
}

/// Fills in which calls `fault` hits: "open", or "CALL:KEY".
bool parseTarget(std::string_view target, Fault& fault) {
  if (target == "open") {
    fault.call = Call::open;
    return true;
  }
  const std::size_t colon = target.find(':');
  if (colon == std::string_view::npos) return false;
  const std::string_view call = target.substr(0, colon);
  const std::string_view key = target.substr(colon + 1);
  if (call == "info") {
    fault.call = Call::info;
  } else if (call == "read") {
    fault.call = Call::read;
  } else if (call == "write") {
    fault.call = Call::write;
  } else {
    return false;
  }
  if (key != "*" && !isFourPrintable(key)) return false;
  fault.key = std::string(key);
  return true;
}

/// Fills in how `fault` fails from its ERR word.
bool parseFailure(std::string_view err, Fault& fault) {
  const bool open = fault.call == Call::open;
  if (err == "not-privileged") {
    fault.ioReturn = kIOReturnNotPrivileged;
  } else if (err == "io-error") {
    fault.ioReturn = kIOReturnError;
  } else if (err == "no-driver" && open) {
    fault.noDriver = true;
  } else if (err == "key-not-found" && !open) {
    fault.result = kResultKeyNotFound;
    fault.touchReply = true;
  } else if (err.starts_with("result=") && !open) {
    unsigned value = 0;
    if (!parseNumber(err.substr(7), value) || value > 255) return false;
    fault.result = static_cast<std::uint8_t>(value);
    fault.touchReply = true;
  } else if (err.starts_with("io=")) {
    std::string_view number = err.substr(3);
    const bool negative = number.starts_with('-');
    if (negative) number.remove_prefix(1);
    std::uint32_t value = 0;
    if (!parseNumber(number, value)) return false;
    fault.ioReturn = static_cast<std::int32_t>(negative ? 0U - value : value);
  } else {
    return false;
  }
  return true;
}

}  // namespace

std::optional<Fault> parseFault(std::string_view text) {
  const std::size_t eq = text.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  std::string_view err = text.substr(eq + 1);
  Fault fault;
  if (const std::size_t at = err.rfind('@'); at != std::string_view::npos) {
    if (!parseNumber(err.substr(at + 1), fault.nth) || fault.nth == 0) return std::nullopt;
    err = err.substr(0, at);
  }
  if (!parseTarget(text.substr(0, eq), fault) || !parseFailure(err, fault)) return std::nullopt;
  return fault;
}

}  // namespace emu
