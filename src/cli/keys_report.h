// The keys report: what the SMC answers for each control key, so that a
// caller can tell a real control from a zero-size placeholder or a key that
// the firmware refuses.
#pragma once

#include <string>

#include "response/json_response.h"

/// The report for `command`: for each of the seven control keys, in the
/// order of the capabilities report, its type, size and value, or how the
/// information query or the read failed; and the architecture. Each query
/// and each read has a connection of its own; nothing is written, and the
/// report never fails.
JsonResponse keysRecord(const std::string& command);
