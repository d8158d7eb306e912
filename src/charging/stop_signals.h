// The signals that a holder that stays serves (SIGTERM from launchd and
// SIGINT stop it; SIGHUP asks it to reopen its log, as newsyslog(8) does
// after a rotation), turned into a byte on a pipe that its run loop watches:
// a signal handler may do no more than that, and what it asks then runs
// between two decisions, never inside one.
#pragma once

/// Makes the pipe and installs the handlers (interrupted calls restart);
/// returns the pipe's read end, or -1 when no pipe can be made.
int openStopPipe();

/// What the signals that came ask, most pressing first.
enum class SignalRequest : unsigned char { none, reopenLog, stop };

/// What has come, for a pipe that poll or the run loop found readable:
/// reads what is there.
SignalRequest readSignals(int readEnd);
