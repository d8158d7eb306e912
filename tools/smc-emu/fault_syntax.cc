#include "fault_syntax.h"

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <string>

#include "four_printable.h"

namespace emu {

namespace {

/// The driver's parameter block; a shorter reply is a fault.
constexpr std::uint32_t kBlockSize = 80;

/// A whole unsigned number: decimal, or hex after "0x"; false when `text`
/// is anything else or `out` cannot hold it.
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

/// An IOKit return code, a 32-bit signed integer: in decimal within that
/// range, in hex its 32 bits (0xe00002c1), either after a '-' its negation.
/// Anything that no return code can be is refused, not wrapped into one.
bool parseReturnCode(std::string_view text, std::int32_t& out) {
  const bool negative = text.starts_with('-');
  if (negative) text.remove_prefix(1);
  const bool hex = text.starts_with("0x") || text.starts_with("0X");
  std::uint64_t magnitude = 0;
  if (!parseNumber(text, magnitude)) return false;
  const std::uint64_t limit = negative ? 0x80000000U : hex ? 0xFFFFFFFFU : 0x7FFFFFFFU;
  if (magnitude > limit) return false;
  out = negative ? static_cast<std::int32_t>(-static_cast<std::int64_t>(magnitude))
                 : static_cast<std::int32_t>(static_cast<std::uint32_t>(magnitude));
  return true;
}

/// Fills in how `fault` fails from its ERR word.
bool parseFailure(std::string_view err, Fault& fault) {
  // An opening, and the battery's entry, begin with a lookup; neither has a
  // key, a result byte or a reply.
  const bool open = fault.call == Call::open || fault.call == Call::registry;
  // A request for a timed wake fails as an IOKit call does, with no SMC in it.
  const bool smc = !open && fault.call != Call::schedule && fault.call != Call::unschedule;
  if (err == "not-privileged") {
    fault.ioReturn = kIOReturnNotPrivileged;
  } else if (err == "io-error") {
    fault.ioReturn = kIOReturnError;
  } else if (err == (fault.call == Call::open ? "no-driver" : "no-entry") && open) {
    fault.noDriver = true;
  } else if (err == "key-not-found" && smc) {
    fault.result = kResultKeyNotFound;
    fault.touchReply = true;
  } else if (err.starts_with("result=") && smc) {
    unsigned value = 0;
    if (!parseNumber(err.substr(7), value) || value > 255) return false;
    fault.result = static_cast<std::uint8_t>(value);
    fault.touchReply = true;
  } else if (err.starts_with("reply=") && smc) {
    std::uint32_t size = 0;
    if (!parseNumber(err.substr(6), size) || size >= kBlockSize) return false;
    fault.replySize = size;
  } else if (err.starts_with("io=")) {
    if (!parseReturnCode(err.substr(3), fault.ioReturn)) return false;
  } else {
    return false;
  }
  return true;
}

/// Fills in how and when `fault` fails from "ERR[@N]".
bool parseWhen(std::string_view err, Fault& fault) {
  if (const std::size_t at = err.rfind('@'); at != std::string_view::npos) {
    if (!parseNumber(err.substr(at + 1), fault.nth) || fault.nth == 0) return false;
    err = err.substr(0, at);
  }
  return parseFailure(err, fault);
}

}  // namespace

std::optional<Fault> parseFault(std::string_view text) {
  Fault fault;
  for (const auto& [prefix, call] : {std::pair{std::string_view("open="), Call::open},
                                     std::pair{std::string_view("registry="), Call::registry},
                                     std::pair{std::string_view("schedule="), Call::schedule},
                                     std::pair{std::string_view("unschedule="), Call::unschedule}}) {
    if (!text.starts_with(prefix)) continue;
    fault.call = call;
    if (!parseWhen(text.substr(prefix.size()), fault)) return std::nullopt;
    return fault;
  }
  const std::size_t colon = text.find(':');
  const std::string_view call = text.substr(0, colon);
  if (call == "info") {
    fault.call = Call::info;
  } else if (call == "read") {
    fault.call = Call::read;
  } else if (call == "write") {
    fault.call = Call::write;
  } else {
    return std::nullopt;
  }
  // The key is read by position, as --key reads it: a name is exactly four
  // characters and may hold '=' (or be "*=AB"), so it is tried first, and
  // "*" when that does not make a fault.
  const std::string_view rest = text.substr(colon + 1);
  if (rest.size() > 4 && rest[4] == '=' && isFourPrintable(rest.substr(0, 4))) {
    fault.key = std::string(rest.substr(0, 4));
    if (parseWhen(rest.substr(5), fault)) return fault;
    fault = Fault{.call = fault.call};
  }
  if (!rest.starts_with("*=") || !parseWhen(rest.substr(2), fault)) return std::nullopt;
  return fault;
}

}  // namespace emu
