// Holding the battery between two levels: one stateless run that reads the
// level and brings the controls to the state that it asks for, so that a job
// repeated every minute keeps a plugged-in Mac within the band.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "response/json_response.h"

/// The levels to hold between, 0 <= lower < upper <= 100.
struct Band {
  int lower{};
  int upper{};
};

/// The band that two arguments give: plain decimal integers (one to three
/// digits, nothing else) in order and in range; none otherwise.
std::optional<Band> parseBand(std::string_view lower, std::string_view upper);

/// What a level asks of each control: true on, false off, none left as it is.
struct HoldDecision {
  std::optional<bool> adapter{};
  std::optional<bool> charging{};
};

/// The decision for `level` where the controls marked usable exist. With
/// both: the adapter stays on up to the upper level, charging goes on at the
/// lower and off at the upper. With one: on at the lower, off at the upper.
HoldDecision decideHold(int level, Band band, bool adapterUsable, bool chargingUsable);

/// Reads the battery and carries out the decision through the writes of
/// "adapter" and "charging", writing only a control whose status differs
/// from the state wanted (or cannot be told); the response of `command`.
/// On a reading that fails, only turns the adapter back on.
JsonResponse holdResponse(const std::string& command, Band band);
