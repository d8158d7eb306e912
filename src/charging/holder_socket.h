// The holder's door for apps: a local socket that anyone may connect to,
// where a caller asks one short request and gets one line back. Who asks is
// told by the kernel, never by the request. No caller can delay a decision,
// a sleep or a stop: every accept, read and write is non-blocking, a caller
// has 2 seconds for its line, and at most 8 are served at once.
#pragma once

#include <string>
#include <sys/types.h>

#include "charging/band_request.h"

/// How long a caller may take, from its connection to its line feed.
inline constexpr double kCallerSeconds = 2;
/// Callers served at once; another closes the one that came first.
inline constexpr unsigned kCallersAtOnce = 8;

/// The group whose members may change the band, as on every Mac.
inline constexpr gid_t kAdminGroup = 80;
inline constexpr gid_t kStaffGroup = 20;

/// What the holder does with a request: the line it answers (JSON, without
/// its line feed), and whether the band changed, which it acts on once the
/// answer has gone.
struct CallerAnswer {
  std::string line{};
  bool changed{};
};

/// The holder's side of its callers.
struct CallerHooks {
  /// The answer to `request` from a caller who may change the band or not.
  CallerAnswer (*answer)(const BandRequest& request, bool mayChange, void* context) = nullptr;
  /// Called once a change's answer has gone.
  void (*changed)(void* context) = nullptr;
  void* context = nullptr;
};

/// Listens at the platform's holder socket, replacing one that an earlier
/// holder left (the caller holds the holders' lock), open to anyone, and
/// serves its callers on this thread's run loop through `hooks`: root and
/// members of `group` may change the band. False where it cannot listen.
bool listenForCallers(gid_t group, const CallerHooks& hooks);

/// Takes the socket's name away at the holder's stop, so that an app finds
/// no holder at once rather than a socket that no one answers.
void closeDoor();
