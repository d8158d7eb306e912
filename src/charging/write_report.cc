#include "charging/write_report.h"

ErrorReport reportFor(const SMCError& error) {
  switch (error.kind) {
    case SMCError::Kind::keyNotFound:
      return {.code = "KEY_NOT_FOUND", .message = "SMC key not found: " + error.keyName};
    case SMCError::Kind::driverNotFound:
      return {.code = "DRIVER_NOT_FOUND", .message = "AppleSMC driver not found"};
    case SMCError::Kind::failedToOpen:
      return {.code = "SMC_OPEN_FAILED", .message = "failed to open AppleSMC"};
    case SMCError::Kind::notPrivileged:
      return {.code = "PERMISSION_DENIED", .message = "root privileges required"};
    case SMCError::Kind::unknown:
      break;
  }
  return {.code = "WRITE_FAILED", .message = "SMC write failed: " + numbersText(error)};
}

std::optional<ErrorReport> failureOf(const WriteOutcome& outcome) {
  if (!outcome) return ErrorReport{.code = "WRITE_UNAVAILABLE", .message = "no supported control key found"};
  if (outcome->result.ok()) return std::nullopt;
  return reportFor(outcome->result.error());
}

JsonResponse writeResponse(const std::string& command, const std::string& value,
                           const WriteOutcome& outcome) {
  auto failure = failureOf(outcome);
  // A write that found no key has no backend to name.
  const auto backend = outcome ? std::optional(outcome->backend) : std::nullopt;
  if (!failure) return {.ok = true, .command = command, .backend = backend, .value = value};
  return {.ok = false, .command = command, .backend = backend, .value = value,
          .code = std::move(failure->code), .error = std::move(failure->message)};
}
