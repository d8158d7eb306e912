// Turning a write outcome into the run's one response.
#pragma once

#include <optional>
#include <string>

#include "charging/charging_write.h"
#include "response/json_response.h"
#include "smc/smc_error.h"

/// The error code and message that an SMCError is reported with.
struct ErrorReport {
  std::string code{};
  std::string message{};
};

/// The code and message for `error`; one fixed pair for each case.
ErrorReport reportFor(const SMCError& error);

/// How a write that ended in `outcome` failed, as the write commands report
/// it; none when it succeeded.
std::optional<ErrorReport> failureOf(const WriteOutcome& outcome);

/// The response for a write of `value` by `command` that ended in `outcome`.
JsonResponse writeResponse(const std::string& command, const std::string& value,
                           const WriteOutcome& outcome);
