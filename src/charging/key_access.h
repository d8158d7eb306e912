// One-shot key access: each call opens its own driver connection, performs
// one key operation and closes the connection again.
#pragma once

#include <optional>
#include <string_view>

#include "smc/smc_error.h"
#include "smc/smc_param_struct.h"

/// Success, or failure carrying one SMCError.
using WriteResult = SMCResult<Done>;

/// True when a connection opened and the SMC answered the key's information
/// request; every failure is false.
bool keyAvailable(std::string_view key);

/// True when the key is available and reports a size above 0: a zero-size key
/// is a placeholder that would store nothing, so the writes treat it as absent.
bool keyWritable(std::string_view key);

/// The key's value (possibly empty), or none on any failure.
std::optional<ByteList> readKeyBytes(std::string_view key);

/// Writes `bytes` to the key; every failure reaches the caller unchanged.
WriteResult writeKeyBytes(std::string_view key, const ByteList& bytes);
