// The capabilities report: which control keys the SMC knows, and the
// processor architecture.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "response/json_response.h"

/// The seven charging and adapter control keys, in the order in which they
/// are asked about.
inline constexpr std::array<std::string_view, 7> kControlKeys{"CHTE", "CH0B", "CH0C", "CH0I",
                                                              "CHIE", "CH0J", "ACLC"};

/// The report for `command`: all seven keys, each true when the SMC knows
/// it, whatever its size, and the architecture. It never fails.
JsonResponse capabilitiesRecord(const std::string& command);
