// Where the stand-in's holders meet: the attached machine's own lock file,
// as /var/run's is a Mac's, so that two holders of one emulated Mac take
// turns and holders of different ones do not.
#pragma once

/// The attached machine's holder lock file, or null (none attached, or one
/// that no other holder can share).
const char* holderLockPath();

/// Where the attached machine's holder listens for its callers, and keeps
/// the band they set; null when none can reach it.
const char* holderSocketPath();
const char* holderBandPath();

/// Tells the attached machine that a holder's wait for the lock is over
/// (taken, or refused), so that one that waited starts from the machine as
/// the other holder left it.
void holderLockSettled();
