// The battery-health report: the battery's own figures, from its entry in
// the I/O Registry.
#pragma once

#include <string>

#include "response/json_response.h"

/// The report for `command`: the layout and each figure that the entry gives,
/// with nominal over design; BATTERY_UNAVAILABLE without an entry to read.
JsonResponse healthRecord(const std::string& command);
