// One holder per Mac: whichever copy of the helper, of whichever app, holds
// the level, a second one decides nothing while the first lives. The file
// also tells who holds: the holder's process and band, for a waiting one to
// name and for newsyslog(8) to signal (the process on its first line).
#pragma once

#include <optional>

#include "charging/hold.h"
#include "response/json_response.h"

/// How an attempt at the holders' lock ended.
enum class LockTry : unsigned char { held, busy, failed };

/// Tries, without waiting, to take the exclusive lock on the platform's
/// holder lock file, which the kernel releases when this process ends. The
/// file is created (mode 0600) when missing; it must be a regular file of
/// the effective user, and one that others may open is made 0600 first (a
/// file of another user could be held by that user forever). The file stays
/// open between attempts, and the lock, once held, for the process's life.
LockTry tryHolderLock();

/// Writes this process and `band` into the lock file that it holds.
void recordHolder(Band band);

/// What the lock file's holder wrote there; none when it cannot be read.
std::optional<HolderInfo> lockHolder();
