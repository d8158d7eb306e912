// The wakes that a holder asks the Mac for: asleep, nothing runs, so a
// holder that lets the battery run down through the night must be woken to
// turn the adapter back on before the level leaves the band.
#pragma once

/// Asks the Mac to wake at `at` (seconds of CFAbsoluteTimeGetCurrent's
/// clock), in the holder's name; false when it cannot be asked (only root may).
bool requestWake(double at);

/// Withdraws the request for `at`.
void cancelWake(double at);
