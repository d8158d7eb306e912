#include "charging/write_report.h"

ErrorReport reportFor(const SMCError& error) {
  switch (error.kind) {
    case SMCError::Kind::keyNotFound:
      return {"KEY_NOT_FOUND", "SMC key not found: " + error.keyName};
    case SMCError::Kind::driverNotFound:
      return {"DRIVER_NOT_FOUND", "AppleSMC driver not found"};
    case SMCError::Kind::failedToOpen:
      return {"SMC_OPEN_FAILED", "failed to open AppleSMC"};
    case SMCError::Kind::notPrivileged:
      return {"PERMISSION_DENIED", "root privileges required"};
    case SMCError::Kind::unknown:
      break;
  }
  return {"WRITE_FAILED", "SMC write failed: " + numbersText(error)};
}

JsonResponse writeResponse(const std::string& command, const std::string& value,
                           const WriteOutcome& outcome) {
  if (!outcome) {
    return {false, command, std::nullopt, std::nullopt, value,
            "WRITE_UNAVAILABLE", "no supported control key found", std::nullopt, std::nullopt};
  }
  if (outcome->result.ok()) {
    return {true, command, outcome->backend, std::nullopt, value,
            std::nullopt, std::nullopt, std::nullopt, std::nullopt};
  }
  ErrorReport report = reportFor(outcome->result.error());
  return {false, command, outcome->backend, std::nullopt, value,
          std::move(report.code), std::move(report.message), std::nullopt, std::nullopt};
}
