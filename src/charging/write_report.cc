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

JsonResponse writeResponse(const std::string& command, const std::string& value,
                           const WriteOutcome& outcome) {
  if (!outcome) {
    return {.ok = false, .command = command, .value = value, .code = "WRITE_UNAVAILABLE",
            .error = "no supported control key found"};
  }
  if (outcome->result.ok()) {
    return {.ok = true, .command = command, .backend = outcome->backend, .value = value};
  }
  ErrorReport report = reportFor(outcome->result.error());
  return {.ok = false, .command = command, .backend = outcome->backend, .value = value,
          .code = std::move(report.code), .error = std::move(report.message)};
}
