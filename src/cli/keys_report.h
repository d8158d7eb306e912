// The keys report: what the SMC answers for each control key, so that a
// caller can tell a real control from a zero-size placeholder or a key that
// the firmware refuses.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "response/json_response.h"

/// Keys that no command uses but whose answers tell firmware generations
/// apart (newer firmware refuses them to everyone, or keeps them as
/// placeholders): only read, and only by the keys report.
inline constexpr std::array<std::string_view, 5> kGenerationKeys{"CHLS", "CHIB", "bfD0", "bfE0",
                                                                 "bfF0"};

/// The report for `command`: for each of the seven control keys, in the
/// order of the capabilities report, then each generation key, its type,
/// size, attribute byte and value, or how the information query or the read
/// failed; and the architecture. Each query and each read has a connection
/// of its own; nothing is written, and the report never fails.
JsonResponse keysRecord(const std::string& command);
