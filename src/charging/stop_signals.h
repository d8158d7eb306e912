// The signals that stop a holder that stays (SIGTERM from launchd, SIGINT,
// SIGHUP), turned into a byte on a pipe that its run loop watches: a signal
// handler may do no more than that, and the stop itself then runs between
// two decisions, never inside one.
#pragma once

/// Makes the pipe and installs the handlers (interrupted calls restart);
/// returns the pipe's read end, or -1 when no pipe can be made.
int openStopPipe();

/// Whether a stop signal has come, for a pipe that poll found readable:
/// reads what is there.
bool stopRequested(int readEnd);
