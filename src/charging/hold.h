// Holding the battery between two levels: one stateless run that reads the
// level and the controls and brings the controls to the state that the level
// asks for, so that a run repeated at each event keeps a plugged-in Mac
// within the band.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "response/json_response.h"

/// The levels to hold between, 20 <= lower < upper <= 100. Below 20 a Mac
/// left on its battery is too close to empty, so no band may go there.
struct Band {
  int lower{};
  int upper{};
};

/// The message of arguments that make no band.
inline constexpr std::string_view kBandMessage = "hold expects LOWER UPPER, 20 <= LOWER < UPPER <= 100";

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
};

/// What a decision asks of each control: true on, false off, none left as it is.
struct HoldDecision {
  std::optional<bool> adapter{};
  std::optional<bool> charging{};
};

/// Whether the Mac runs from its battery with its adapter not cut by the
/// helper (the power source says so, and the adapter reads enabled or has no
/// usable key): unplugged, as far as anything can tell.
bool unplugged(const HoldSituation& situation);

/// What `hold` asks. Unplugged: charging on, so that plugging in charges to
/// the upper level again. An upper level of 100: every control on, nothing
/// held. Otherwise, by the level: with both controls, the adapter stays on up
/// to the upper level and charging goes on at or below the lower and off at
/// the upper; with one, it goes on at or below the lower and off at or above
/// the upper. A control without a usable key is never asked anything.
HoldDecision decideHold(const HoldSituation& situation, Band band);

/// What a holder asks before the Mac sleeps. Where charging is usable and the
/// Mac is not unplugged: the adapter on, and charging off at or above the
/// lower level (the level stays as it is while the Mac sleeps) or on below it.
/// Unplugged: nothing. With the adapter alone: the adapter on, so that no
/// plugged-in Mac sleeps on its battery. An upper level of 100: as decideHold.
HoldDecision decideSleep(const HoldSituation& situation, Band band);

/// Reads the battery and the controls, and carries out decideHold through the
/// writes of "adapter" and "charging": a control whose status already is the
/// state wanted is not written, nor one that reads "unknown" (the line then
/// says STATUS_UNKNOWN). Charging goes off before the adapter is written and
/// on after it. When the battery cannot be read, or a check or a read fails
/// for another reason than a missing key, it decides nothing and only turns a
/// cut adapter back on. The response of `command`.
JsonResponse holdResponse(const std::string& command, Band band);

/// What a holder that stays decides at: its start, its timer, a change of the
/// power sources, the Mac's sleep or wake, or its stop.
enum class HolderEvent : std::uint8_t { start, timer, power, sleep, wake, stop };

/// The word of `event` in a holder's line.
std::string_view eventWord(HolderEvent event);

/// A holder's run at `event`, as holdResponse's, with `event` named in the
/// line: before a sleep it carries out decideSleep; at a stop it turns every
/// usable control on, without reading the battery.
JsonResponse holderResponse(const std::string& command, Band band, HolderEvent event);
