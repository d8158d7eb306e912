// One holder per Mac: whichever copy of the helper, of whichever app, holds
// the level, a second one decides nothing while the first lives.
#pragma once

/// How waiting for the holder's lock ended.
enum class LockWait : unsigned char { held, stopped, failed };

/// Takes the exclusive lock on the platform's holder lock file (created, mode
/// 0600, when missing; it must be a regular file of the effective user that
/// no one else may open, as the root-owned one on a Mac is), which the kernel
/// releases when this process ends. While another process holds it, waits,
/// looking once a second for a stop signal on `stopPipe`; a stop ends the
/// wait. The lock is kept for the rest of the process's life.
LockWait waitForHolderLock(int stopPipe);
