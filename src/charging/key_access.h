// One-shot key access: each call opens its own driver connection, makes its
// calls (an information query; for a read or a write, the key's information
// query and then the read or write itself) and closes the connection again.
#pragma once

#include <optional>
#include <string_view>

#include "smc/four_char.h"
#include "smc/smc_error.h"
#include "smc/smc_param_struct.h"

/// Success, or failure carrying one SMCError.
using WriteResult = SMCResult<Done>;

/// True when a connection opened and the SMC answered the key's information
/// request; every failure is false.
bool keyAvailable(std::string_view key);

/// True when the key is available and reports a size from 1 to 32: a
/// zero-size key is a placeholder that would store nothing, and a larger one
/// cannot travel in the block's 32-byte value field, so the writes, and the
/// readings that follow a write's choice, treat both as absent.
bool keyUsable(std::string_view key);

/// True when `error` says only that a key is not there to use: the SMC has
/// no such key, the firmware refuses it to everyone (kIOReturnNotPrivileged),
/// or the Mac has no driver. Any other failure tells nothing of the key.
bool meansAbsent(const SMCError& error);

/// As keyUsable, but a failure that meansAbsent does not cover is handed on
/// rather than taken for a missing key.
SMCResult<bool> keyUsableOrError(std::string_view key);

/// The key's value (possibly empty), or none on any failure.
std::optional<ByteList> readKeyBytes(std::string_view key);

/// Writes `bytes` to the key; every failure reaches the caller unchanged.
WriteResult writeKeyBytes(std::string_view key, const ByteList& bytes);

/// The key's type and size, or the SMCError that the opening or the query
/// failed with, for a report that tells how a key failed. A failure that is
/// no SMCError reads as unknown(kIOReturnError, 0), as for a write.
SMCResult<DataType> keyInformationOrError(std::string_view key);

/// The key's value (possibly empty), or the SMCError of the opening, of the
/// read's own information query or of the read; otherwise as above.
SMCResult<ByteList> readKeyBytesOrError(std::string_view key);

/// The key's value; none when the key is not there to read (meansAbsent);
/// any other failure is handed on.
SMCResult<std::optional<ByteList>> readKeyBytesOrAbsent(std::string_view key);
