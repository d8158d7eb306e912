// Holding the battery between two levels: one stateless run that reads the
// level and the controls and brings the controls to the state that the level
// asks for, so that a run repeated at each event keeps a plugged-in Mac
// within the band.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "charging/adapter_status.h"
#include "charging/battery.h"
#include "charging/write_report.h"
#include "response/json_response.h"

/// The levels to hold between, 20 <= lower < upper <= 100. Below 20 a Mac
/// left on its battery is too close to empty, so no band may go there.
struct Band {
  int lower{};
  int upper{};
  /// The battery's heat, in whole degrees Celsius, at and above which no
  /// decision charges it (but to keep it above the lower level), 30 to 45;
  /// charging comes back at 3 degrees below it.
  int hot{kDefaultHot};
  static constexpr int kDefaultHot = 35;
};

/// The message of arguments that make no band.
inline constexpr std::string_view kBandMessage = "hold expects LOWER UPPER, 20 <= LOWER < UPPER <= 100";

/// The message of a band followed by something other than hold's option.
inline constexpr std::string_view kHoldOptionsMessage = "hold expects LOWER UPPER [--hot C], 30 <= C <= 45";

/// The heat that `text` gives as a --hot value: whole degrees, 30 to 45.
std::optional<int> parseHot(std::string_view text);

/// The code and message of a control that holds a value the helper did not
/// write, which a run leaves alone rather than fight its writer.
inline constexpr std::string_view kStatusUnknownCode = "STATUS_UNKNOWN";
inline constexpr std::string_view kStatusUnknownMessage = "a control holds a value the helper did not write";

/// The band that two arguments give: plain decimal integers (one to three
/// digits, nothing else) in order and in range; none otherwise.
std::optional<Band> parseBand(std::string_view lower, std::string_view upper);

/// A control as a run finds it: whether a key of it is usable, and then its
/// status ("enabled", "disabled", "unknown", or empty when it cannot be told).
struct ControlState {
  bool usable{};
  std::string status{};
};

/// What a decision knows of the Mac.
struct HoldSituation {
  int level{};
  bool onAdapter{};  ///< the power source says "AC Power"
  ControlState adapter{};
  ControlState charging{};
  std::optional<int> temperature{};  ///< the battery's, in tenths of a degree; none where the Mac gives none
};

/// With the adapter alone, how far above the lower level the heat may cut it.
inline constexpr int kHeatCutAboveLower = 3;

/// What the battery's heat asks of a decision: nothing; to pause charging
/// (at or above the band's hot degree); or, within the 3 degrees below it,
/// to keep paused a charging that is paused.
enum class Heat : std::uint8_t { none, pause, margin };

/// The heat rule on `situation`: none where the temperature is not known, at
/// or below the lower level, where a plugged-in Mac charges whatever its
/// heat (with the adapter alone, less than kHeatCutAboveLower above it), or
/// unplugged, where nothing charges.
Heat heatOf(const HoldSituation& situation, Band band);

/// Whether charging is paused now, as a decision on `situation` leaves it:
/// charging off where charging holds the level, else the adapter cut.
bool chargingPaused(const HoldSituation& situation);

/// What a decision asks of each control: true on, false off, none left as it is.
struct HoldDecision {
  std::optional<bool> adapter{};
  std::optional<bool> charging{};
  std::optional<int> heat{};  ///< the temperature (tenths) for which charging is paused, or kept paused
};

/// What a holder that stays brings to a decision beyond the band: what it
/// remembers, and whether the Mac sleeps. `hold`, which remembers nothing,
/// decides as the default does.
struct HolderRule {
  bool night{};          ///< the Mac sleeps (a dark wake included): the night rule
  bool chargeAsleep{};   ///< with the adapter alone, keep it on asleep, as 0.5.0 did
  bool adapterHeldOn{};  ///< the holder turned the adapter on less than 10 minutes ago
  /// Whether its last decision paused charging for the heat, which a holder
  /// remembers; none, as for `hold`: a paused control in the margin counts.
  std::optional<bool> heatPaused{};
};

/// Whether the Mac runs from its battery with its adapter not cut by the
/// helper (the power source says so, and the adapter reads enabled or has no
/// usable key): unplugged, as far as anything can tell.
bool unplugged(const HoldSituation& situation);

/// Whether the band is held with the adapter alone: charging has no usable
/// key, or holds a value that the helper did not write.
bool adapterAlone(const HoldSituation& situation);

/// What `hold` asks. Over all that follows, the heat rule (heatOf): paused,
/// charging goes off (or, where the adapter alone holds the band, the adapter
/// is cut); in the margin, a paused charging stays paused. Unplugged:
/// charging on, so that plugging in charges to the upper level again. An upper level of 100: every control on, nothing
/// held. Otherwise, by the level: with both controls, the adapter stays on up
/// to the upper level and charging goes on at or below the lower and off at
/// the upper; with the adapter alone, it goes on at or below the lower and
/// off at or above the upper, and so does charging alone. A control without a
/// usable key is never asked anything.
HoldDecision decideHold(const HoldSituation& situation, Band band);

/// What a holder asks. By day, as decideHold, but a cut that would end the
/// 10 minutes of an adapter the holder turned on waits for them. At night,
/// plugged in: where charging holds the level, the adapter on and charging
/// off at or above the lower level (on below it), so the level stays as it
/// is; with the adapter alone, the adapter cut above the lower level and on
/// at or below it (or within its 10 minutes), or, with chargeAsleep, on.
/// Unplugged at night: nothing, but charging on where charging holds
/// nothing. An upper level of 100: as decideHold.
HoldDecision decideHolder(const HoldSituation& situation, Band band, HolderRule rule);

/// What a run found before it decides: the battery, the key of each control
/// that has one, what a decision knows, and the first check or read that
/// failed, after which nothing more was asked.
struct HoldFindings {
  std::optional<BatteryReading> battery{};
  std::optional<AdapterControl> adapter{};
  std::optional<std::string> chargingBackend{};
  HoldSituation situation{};
  std::optional<ErrorReport> failure{};
};

/// Reads the battery (unless `stopping`, which needs no level), then the
/// adapter's key and status and, when a decision can follow, charging's;
/// and, for a plugged-in level above `band`'s lower one, where alone the heat
/// rule acts, the battery's temperature.
HoldFindings findForHold(bool stopping, Band band = {});

/// Whether `found` lets a run decide: the battery was read (or it stops) and
/// no check or read failed.
bool decidable(const HoldFindings& found, bool stopping);

/// A run carried out, and whether its charging write failed.
struct HoldRun {
  JsonResponse line{};
  bool chargingWriteFailed{};
};

/// The situation with charging's key left out: what the adapter alone does.
HoldSituation withoutCharging(HoldSituation situation);

/// Carries out `decision` through the keys found, for the line of `command`
/// (at `event`, for a holder; `stopping`: a holder's stop, with no level): a control whose status already is the state
/// wanted is not written, nor one that reads "unknown" (the line then says
/// STATUS_UNKNOWN). Charging goes off before the adapter is written and on
/// after it; should charging's write fail, the adapter takes
/// `adapterIfChargingFails` instead. A run that found nothing decidable
/// decides nothing and only turns a cut adapter back on; one with no usable
/// control says so (but at a stop, which has nothing to undo).
HoldRun carryOut(const std::string& command, std::optional<std::string> event, const HoldFindings& found,
                 bool stopping, HoldDecision decision, std::optional<bool> adapterIfChargingFails);

/// What `hold` answers: findForHold, decideHold, carryOut.
JsonResponse holdResponse(const std::string& command, Band band);

/// What a holder that stays decides at: its start, its timer, a change of the
/// power sources, the Mac's sleep, a decision while it sleeps, its wake, a
/// band that an app set, or its stop.
enum class HolderEvent : std::uint8_t { start, timer, power, sleep, dark, wake, band, stop };

/// The word of `event` in a holder's line.
std::string_view eventWord(HolderEvent event);

/// The fastest drain asleep that a holder assumes, in seconds per percent:
/// 2 % an hour, beyond what Macs are reported to lose in a night.
inline constexpr double kAsleepDrainSecondsPerPercent = 1800;
/// How long an adapter that a holder turned on stays on, at the least.
inline constexpr double kAdapterHeldOnSeconds = 600;

/// When a holder asleep that holds the band with the adapter alone must run
/// again, as a time of `now`'s clock (seconds): with the adapter cut, before
/// the level could fall below the lower level at the fastest drain that it
/// assumes, and no sooner than 10 minutes from now; with it on, 10 minutes
/// after it was turned on (`onSince`), which is also the soonest it may be
/// cut.
double nightWakeAt(int level, Band band, bool adapterCut, double now, double onSince);
