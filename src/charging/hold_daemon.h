// The holder that stays: one process, one thread and one run loop that runs
// hold's decision at each event of the system's power, instead of a job
// that launchd starts every minute and cannot ask to act before a sleep or
// to restore the Mac when it is stopped.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "charging/hold.h"

/// The line of a holder that cannot start (its stop signals or its lock).
inline constexpr std::string_view kHolderUnavailableCode = "HOLDER_UNAVAILABLE";
inline constexpr std::string_view kHolderUnavailableMessage = "unable to start the holder";

/// The message of hold-daemon's arguments where what follows the band is not
/// its options.
inline constexpr std::string_view kHolderArgsMessage =
    "hold-daemon expects LOWER UPPER [--charge-asleep] [--hot C] [--band-group admin|staff], 30 <= C <= 45";

/// What hold-daemon's arguments ask: the band, or none with the message that
/// refuses them, and how the adapter alone spends a night.
struct HolderSettings {
  std::optional<Band> band{};
  std::string_view refusal{};
  bool chargeAsleep{};  ///< --charge-asleep: the adapter stays on asleep, and the Mac charges
  /// --band-group: whose members, beside root, may change the band.
  std::string_view bandGroup{"admin"};
};

/// The group of a --band-group word, admin or staff; none for another.
std::optional<unsigned> bandGroupId(std::string_view word);

/// Holds the band until SIGTERM or SIGINT, printing the line of `command` at
/// each event. First it takes the holders' lock; while another holder lives
/// it says so once (its process and band) and waits, and a stop then ends it
/// with a stop line that wrote nothing. Then it decides at its start, at each
/// change of the power sources, before each sleep (and lets the sleep go on,
/// whatever the decision did), while the Mac sleeps (a dark wake, or a wake
/// it asked for), at each wake and every 60 seconds. The start, sleep, wake
/// and stop lines are always printed; the others when they wrote, when a
/// failure starts or ends, and once an hour while one lasts. A holder that
/// cannot start (its band refused, a lock it must not trust) turns a cut
/// adapter back on, says why, and stays, trying again every minute, rather
/// than end and be started again at once. Once it holds the lock it holds
/// the band that an app last set (band_file.h), where that was set over the
/// same arguments, and serves the apps that ask it to change the band, charge
/// to full once, or tell what it holds (holder_socket.h); each change is
/// decided at once. SIGHUP reopens its log. A stop
/// turns the adapter and then charging on, prints its line and ends the
/// process with status 0 when that held, 1 otherwise.
[[noreturn]] void runHoldDaemon(const std::string& command, const HolderSettings& settings);
