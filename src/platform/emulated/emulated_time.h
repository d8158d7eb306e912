// The emulated Mac in virtual time: a timeline of what happens to it, minute
// by minute, and what happens on its clock as it follows it, for the trace.
// The clock moves only when the run loop waits (attached_machine.h), straight
// to the next thing that happens, so a week runs in seconds.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/emulated/accounts.h"

namespace emu {

/// The clock reads this at minute 0: 2026-01-01 00:00:00 UTC, in seconds
/// since 2001-01-01 (CFAbsoluteTime), a whole number of tenths of a minute.
inline constexpr double kTimelineEpoch = 788'918'400;

/// Beyond any timeline (a year is 3.2e10 ms): where a far timer or a far
/// timed wake is held.
inline constexpr std::int64_t kNever = std::int64_t{1} << 50U;

/// How long a timed wake lasts, in milliseconds: a dark wake of 2 minutes, as
/// long as a process needs for its overdue timer and a notification, and
/// short enough that the battery hardly moves (a Mac sleeps again as soon as
/// the maintenance that woke it is done).
inline constexpr std::int64_t kTimedWakeMs = 120'000;

/// The first millisecond since minute 0 at or after the clock value `clock`
/// (which is not NaN), held within kNever either way.
std::int64_t msAtOrAfter(double clock);

/// One event of a timeline: what happens to the machine at a minute, or what
/// a caller asks its holder then (band, holder).
struct TimelineEvent {
  enum class Word : std::uint8_t { sleep, wake, dark, unplug, plug, battery, stop, temp, band, holder };
  int minute = 0;
  Word word = Word::stop;
  int percent = 0;      ///< battery: the level that the battery is set to
  int temperature = 0;  ///< temp: the battery's temperature, in hundredths of a degree Celsius
  int lower = 0;        ///< band: the band asked for, unless `full`
  int upper = 0;
  bool full = false;    ///< band: a full charge is asked for
  /// band: who asks, as the timeline names it; none: the default caller,
  /// the administrator.
  std::optional<Account> account{};
};

/// The word of an event as a timeline and the trace spell it.
std::string_view timelineWord(TimelineEvent::Word word);

/// The event that `word` names, or none.
std::optional<TimelineEvent::Word> timelineWordFrom(std::string_view word);

/// Whether the Mac is awake; in a dark wake (the display dark, the process
/// running, nothing told at its start from sleep or at its end back to
/// sleep); or asleep, the process frozen.
enum class Power : std::uint8_t { awake, dark, asleep };

/// What the battery does.
enum class Activity : std::uint8_t { charging, still, draining };

/// The word of `activity`: "charging", "still" or "draining".
std::string_view activityWord(Activity activity);

/// Something that happened on the machine's clock.
struct ClockEvent {
  enum class Kind : std::uint8_t {
    timeline,    ///< an event of the timeline
    level,       ///< the level's whole percent, or what the battery does, changed
    notify,      ///< a power-source notification, handed to the run loop
    message,     ///< a sleep or wake message, handed to the run loop
    answer,      ///< the process answered a sleep message
    unanswered,  ///< the machine went on without the answer
    timer,       ///< the clock reached the run loop's next timer
    ended,       ///< the run loop waited after the run had ended
    timedWake,   ///< a timed wake came: a dark wake begins
    timedSleep,  ///< the timed wake's dark wake ended: back to sleep
    reply,       ///< the holder's answer to the timeline's request before it
  };
  Kind kind = Kind::timeline;
  std::int64_t at = 0;  ///< milliseconds since minute 0
  TimelineEvent::Word word = TimelineEvent::Word::stop;  ///< timeline
  int charge = 0;                        ///< timeline battery and level: tenths of a percent
  int temperature = 0;                   ///< timeline temp: hundredths of a degree Celsius
  Activity activity = Activity::still;   ///< level
  std::uint32_t message = 0;             ///< message: its kIOMessage constant
  std::intptr_t id = 0;                  ///< message, answer, unanswered: the notification ID (0: none asked)
  bool allow = false;                    ///< answer: allowed, else cancelled
  TimelineEvent request{};               ///< timeline band and holder: the request
  /// reply: the holder's line, without its line feed; none when no holder
  /// was reached, or it gave no one line of text.
  std::optional<std::string> answer{};
};

/// Something for the run loop at the current time, in order: a
/// notification, a message, or what follows the sleep messages: the sleep
/// (which follows a dark wake's end too) or a dark wake.
struct PendingEvent {
  enum class Kind : std::uint8_t { notify, message, fallAsleep, goDark };
  Kind kind = Kind::notify;
  std::uint32_t message = 0;
  std::intptr_t id = 0;
};

/// The machine in virtual time. The battery moves from `phaseCharge` at
/// `phaseStart`, doing `activity` at the pace for awake or asleep; every
/// change of either starts a new phase.
struct MachineTime {
  std::vector<TimelineEvent> timeline;
  std::size_t next = 0;  ///< the timeline's next event
  std::int64_t now = 0;  ///< milliseconds since minute 0
  Power power = Power::awake;
  std::optional<std::int64_t> darkEnds;  ///< a timed wake's dark wake ends then
  bool sleepComing = false;   ///< a sleep or dark wake is queued: notifications wait for the wake
  bool notifyAtWake = false;  ///< something changed while asleep
  bool ended = false;         ///< the stop has happened
  std::int64_t phaseStart = 0;
  int phaseCharge = 0;
  Activity activity = Activity::still;
  bool phaseAsleep = false;
  int percent = -1;  ///< the whole percent last recorded
  std::deque<PendingEvent> pending;
  std::intptr_t lastID = 0;
  std::intptr_t awaiting = 0;  ///< the message that awaits its answer; 0: none
};

}  // namespace emu
