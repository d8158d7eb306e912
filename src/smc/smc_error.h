// How an SMC operation fails, and the error-or-value result that carries it.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <variant>

/// The failure of an SMC operation: exactly one case with its payload. It
/// carries no message; the write report turns it into one.
struct SMCError {
  enum class Kind : std::uint8_t {
    keyNotFound,     ///< the SMC has no such key (payload `keyName`)
    unknown,         ///< any other failed call (payloads `ioReturn`, `smcResult`)
    driverNotFound,  ///< no AppleSMC service
    failedToOpen,    ///< the service could not be opened, for whatever reason
    notPrivileged,   ///< the driver refused the call for want of privileges
  };

  Kind kind = Kind::unknown;
  std::string keyName{};       ///< keyNotFound only
  std::int32_t ioReturn{};     ///< unknown only
  std::uint8_t smcResult{};    ///< unknown only

  static SMCError keyNotFound(std::string name) {
    return {.kind = Kind::keyNotFound, .keyName = std::move(name)};
  }
  static SMCError unknown(std::int32_t io, std::uint8_t smc) {
    return {.kind = Kind::unknown, .ioReturn = io, .smcResult = smc};
  }
  static SMCError driverNotFound() { return {.kind = Kind::driverNotFound}; }
  static SMCError failedToOpen() { return {.kind = Kind::failedToOpen}; }
  static SMCError notPrivileged() { return {.kind = Kind::notPrivileged}; }
};

/// The value of an operation that yields nothing but success.
struct Done {};

/// The two numbers of an unknown failure as every report spells them:
/// "io=N smc=M", the IOKit return code and the SMC's result byte in decimal.
inline std::string numbersText(const SMCError& error) {
  return "io=" + std::to_string(error.ioReturn) + " smc=" + std::to_string(error.smcResult);
}

/// An SMC operation's result: its value, or the one error it failed with.
template <class T>
class [[nodiscard]] SMCResult {
 public:
  // Implicit on purpose: an operation simply returns its value or its error.
  // cppcheck-suppress noExplicitConstructor
  SMCResult(T value) : state_(std::move(value)) {}  // NOLINT(google-explicit-constructor)
  // cppcheck-suppress noExplicitConstructor
  SMCResult(SMCError error) : state_(std::move(error)) {}  // NOLINT(google-explicit-constructor)

  /// True when the operation succeeded.
  bool ok() const { return std::holds_alternative<T>(state_); }
  /// The value; only when ok().
  const T& value() const { return std::get<T>(state_); }
  /// The error; only when !ok().
  const SMCError& error() const { return std::get<SMCError>(state_); }

 private:
  std::variant<T, SMCError> state_;
};
