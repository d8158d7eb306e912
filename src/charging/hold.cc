#include "charging/hold.h"

#include <algorithm>
#include <utility>

#include "charging/adapter_status.h"
#include "charging/battery.h"
#include "charging/battery_health.h"
#include "charging/charging_status.h"
#include "charging/charging_write.h"
#include "charging/write_report.h"

namespace {

/// One to three decimal digits and nothing else, as a number.
std::optional<int> percentOf(std::string_view text) {
  if (text.empty() || text.size() > 3) return std::nullopt;
  int value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

/// `wanted` for a control with a usable key; nothing for one without.
std::optional<bool> onlyIf(bool usable, std::optional<bool> wanted) {
  return usable ? wanted : std::nullopt;
}

/// Every usable control on.
HoldDecision allOn(const HoldSituation& situation) {
  return {.adapter = onlyIf(situation.adapter.usable, true), .charging = onlyIf(situation.charging.usable, true)};
}

/// How a check or a read that failed is reported: an opening that failed as
/// a write reports it, anything else as a read that failed, with its numbers.
ErrorReport readFailure(const SMCError& error) {
  if (error.kind != SMCError::Kind::unknown) return reportFor(error);
  return {.code = "READ_FAILED", .message = "SMC read failed: " + numbersText(error)};
}

/// `result`'s value, or none with its failure noted in `found`.
template <class T>
std::optional<T> take(HoldFindings& found, SMCResult<std::optional<T>> result) {
  if (result.ok()) return result.value();
  found.failure = readFailure(result.error());
  return std::nullopt;
}

/// The status that a reading tells, empty when it tells none.
std::string statusOf(const std::optional<StatusReading>& reading) { return reading ? reading->status : std::string(); }

/// What a run has written so far, and its first failure.
struct Writes {
  WriteList list{};
  std::optional<ErrorReport> failure{};

  void note(std::optional<ErrorReport> failed) {
    if (failed && !failure) failure = std::move(failed);
  }

  /// Brings the control `name`, found in `state`, to `on` through `write`,
  /// unless it already reads so. One that reads "unknown" holds another
  /// writer's value: it is left alone, and noted. Every needed write is
  /// tried, also after one has failed. Whether a write was tried and failed.
  template <class Write>
  bool bring(std::string_view name, bool on, const ControlState& state, Write write) {
    if (state.status == (on ? "enabled" : "disabled")) return false;
    if (state.status == "unknown") {
      note(ErrorReport{.code = std::string(kStatusUnknownCode), .message = std::string(kStatusUnknownMessage)});
      return false;
    }
    auto failed = failureOf(write(on));
    if (!failed) {
      list.emplace_back(name, on ? "on" : "off");
      return false;
    }
    note(std::move(failed));
    return true;
  }
};

}  // namespace

std::optional<Band> parseBand(std::string_view lower, std::string_view upper) {
  const auto low = percentOf(lower);
  const auto high = percentOf(upper);
  if (!low || !high || *low < 20 || *low >= *high || *high > 100) return std::nullopt;
  return Band{.lower = *low, .upper = *high};
}

bool unplugged(const HoldSituation& situation) {
  return !situation.onAdapter && (!situation.adapter.usable || situation.adapter.status == "enabled");
}

bool adapterAlone(const HoldSituation& situation) {
  return !situation.charging.usable || situation.charging.status == "unknown";
}

std::optional<int> parseHot(std::string_view text) {
  const auto degrees = percentOf(text);
  if (!degrees || *degrees < 30 || *degrees > 45) return std::nullopt;
  return degrees;
}

Heat heatOf(const HoldSituation& situation, Band band) {
  // Unplugged, nothing charges: the pause waits for the adapter, and the
  // decision at its plugging in.
  if (!situation.temperature || situation.level <= band.lower || unplugged(situation)) return Heat::none;
  // With the adapter alone a pause is a cut, and a cut just above the lower
  // level would have the adapter back on there within minutes: the pause
  // begins where 10 minutes of running down still end above it.
  if (adapterAlone(situation) && situation.level < band.lower + kHeatCutAboveLower) return Heat::none;
  if (*situation.temperature >= band.hot * 10) return Heat::pause;
  return *situation.temperature > (band.hot - 3) * 10 ? Heat::margin : Heat::none;
}

bool chargingPaused(const HoldSituation& situation) {
  return (adapterAlone(situation) ? situation.adapter.status : situation.charging.status) == "disabled";
}

namespace {

/// `decision` under the heat rule: charging paused where the battery is hot,
/// and kept paused in the margin below (where `pausedForHeat`, or, not
/// known, where it is paused), by the control that holds the band.
HoldDecision withHeat(HoldDecision decision, const HoldSituation& situation, Band band,
                      std::optional<bool> pausedForHeat) {
  const Heat heat = heatOf(situation, band);
  const bool paused = chargingPaused(situation) && pausedForHeat.value_or(true);
  if (heat == Heat::none || (heat == Heat::margin && !paused)) return decision;
  std::optional<bool>& control = adapterAlone(situation) ? decision.adapter : decision.charging;
  const bool usable = adapterAlone(situation) ? situation.adapter.usable : situation.charging.usable;
  if (!usable) return decision;
  if (heat == Heat::pause) control = false;
  if (control == true) control.reset();
  decision.heat = situation.temperature;
  return decision;
}

/// What the band alone asks by day (decideHold without the heat).
HoldDecision bandDecision(const HoldSituation& situation, Band band) {
  if (band.upper == 100) return allOn(situation);
  if (unplugged(situation)) return {.charging = onlyIf(situation.charging.usable, true)};
  std::optional<bool> edge;
  if (situation.level <= band.lower) edge = true;
  if (situation.level >= band.upper) edge = false;
  // With both, charging keeps the level and the adapter is cut only above
  // the band, so the battery rests at the upper level instead of cycling.
  // Charging that holds another writer's value keeps nothing: then the
  // adapter cycles the battery through the band, as where it is alone,
  // instead of flapping at the upper level.
  if (situation.adapter.usable && !adapterAlone(situation)) {
    return {.adapter = situation.level <= band.upper, .charging = edge};
  }
  return {.adapter = onlyIf(situation.adapter.usable, edge), .charging = onlyIf(situation.charging.usable, edge)};
}

/// What the night asks, without the heat (decideHolder).
HoldDecision nightDecision(const HoldSituation& situation, Band band, HolderRule rule) {
  if (band.upper == 100) return allOn(situation);
  if (unplugged(situation)) return adapterAlone(situation) ? bandDecision(situation, band) : HoldDecision{};
  if (!adapterAlone(situation)) {
    return {.adapter = onlyIf(situation.adapter.usable, true), .charging = situation.level < band.lower};
  }
  if (rule.chargeAsleep) return allOn(situation);
  // Nothing keeps the level still: cut, the battery runs down slowly asleep
  // until a wake that the holder asks for turns the adapter on at the lower
  // level (hold_daemon.cc); on, it would charge to full by morning.
  return {.adapter = onlyIf(situation.adapter.usable, situation.level <= band.lower || rule.adapterHeldOn),
          .charging = onlyIf(situation.charging.usable, situation.level < band.lower)};
}

}  // namespace

HoldDecision decideHold(const HoldSituation& situation, Band band) {
  return withHeat(bandDecision(situation, band), situation, band, std::nullopt);
}

HoldDecision decideHolder(const HoldSituation& situation, Band band, HolderRule rule) {
  HoldDecision decision =
      withHeat(rule.night ? nightDecision(situation, band, rule) : bandDecision(situation, band), situation, band,
               rule.heatPaused);
  // An adapter that the holder has just turned on stays on for a while, so
  // that it changes at most once every 10 minutes, however narrow the band.
  // The heat waits for it too: the adapter was turned on at the lower level,
  // which a hot battery is charged to keep, and cut one point above it, it
  // would switch every few minutes.
  if (rule.adapterHeldOn && decision.adapter == false && adapterAlone(situation)) {
    decision.adapter.reset();
    decision.heat.reset();
  }
  return decision;
}

HoldFindings findForHold(bool stopping, Band band) {
  HoldFindings found;
  if (!stopping) found.battery = readBattery();
  // The adapter first, so that a cut one can still be turned back on when
  // what follows fails.
  found.adapter = take(found, adapterControlOrError());
  found.situation.adapter.usable = found.adapter.has_value();
  if (found.adapter) found.situation.adapter.status = statusOf(take(found, readAdapterStatusOrError(*found.adapter)));
  if (found.failure || !(found.battery || stopping)) return found;
  found.chargingBackend = take(found, chargingBackendOrError());
  found.situation.charging.usable = found.chargingBackend.has_value();
  if (found.chargingBackend) found.situation.charging.status = statusOf(take(found, readChargingStatusOrError()));
  if (found.battery) {
    found.situation.level = found.battery->level;
    found.situation.onAdapter = found.battery->onAdapter;
    // The heat rule's temperature, where it can act; a run that cannot
    // decide needs none.
    if (!found.failure && found.situation.level > band.lower && !unplugged(found.situation)) {
      if (const auto figures = readBatteryHealth()) found.situation.temperature = figures->temperature;
    }
  }
  return found;
}

bool decidable(const HoldFindings& found, bool stopping) { return (found.battery || stopping) && !found.failure; }

HoldSituation withoutCharging(HoldSituation situation) {
  situation.charging = {};
  return situation;
}

HoldRun carryOut(const std::string& command, std::optional<std::string> event, const HoldFindings& found,
                 bool stopping, HoldDecision decision, std::optional<bool> adapterIfChargingFails) {
  Writes run;
  if (!decidable(found, stopping)) {
    // What failed tells nothing certain of the level or of the controls, so
    // nothing is decided; but no Mac is left running down its battery on it.
    decision = {.adapter = found.situation.adapter.status == "disabled" ? std::optional(true) : std::nullopt};
  } else if (!found.adapter && !found.chargingBackend) {
    // Nothing to hold with. A stop has nothing to undo either.
    if (!stopping) run.note(failureOf(std::nullopt));
    decision = {};
  }
  bool chargingFailed = false;
  const auto charging = [&](bool on) {
    chargingFailed = run.bring("charging", on, found.situation.charging,
                               [&](bool value) { return writeCharging(value, *found.chargingBackend); }) ||
                     chargingFailed;
  };
  // Charging goes off before the adapter is written and on after it, so that
  // neither edge lets the battery charge for a moment.
  if (decision.charging == false) {
    charging(false);
    if (chargingFailed) decision.adapter = onlyIf(found.situation.adapter.usable, adapterIfChargingFails);
  }
  if (decision.adapter) {
    run.bring("adapter", *decision.adapter, found.situation.adapter,
              [&](bool value) { return WriteOutcome(writeAdapter(value, *found.adapter)); });
  }
  if (decision.charging == true) charging(true);

  const auto level = found.battery ? std::optional(found.battery->level) : std::nullopt;
  std::optional<ErrorReport> failure = found.failure ? found.failure : run.failure;
  if (!found.battery && !stopping) {
    failure = ErrorReport{.code = std::string(kBatteryUnavailableCode),
                          .message = std::string(kBatteryUnavailableMessage)};
  }
  return {.line = {.ok = !failure, .command = command, .event = std::move(event), .level = level,
                   .heat = decidable(found, stopping) ? decision.heat : std::nullopt,
                   .code = failure ? std::optional(std::move(failure->code)) : std::nullopt,
                   .error = failure ? std::optional(std::move(failure->message)) : std::nullopt,
                   .writes = std::move(run.list)},
          .chargingWriteFailed = chargingFailed};
}

JsonResponse holdResponse(const std::string& command, Band band) {
  const HoldFindings found = findForHold(/*stopping=*/false, band);
  const HoldSituation& situation = found.situation;
  return carryOut(command, std::nullopt, found, /*stopping=*/false, decideHold(situation, band),
                  decideHold(withoutCharging(situation), band).adapter)
      .line;
}

std::string_view eventWord(HolderEvent event) {
  switch (event) {
    case HolderEvent::start: return "start";
    case HolderEvent::timer: return "timer";
    case HolderEvent::power: return "power";
    case HolderEvent::sleep: return "sleep";
    case HolderEvent::dark: return "dark";
    case HolderEvent::wake: return "wake";
    case HolderEvent::band: return "band";
    case HolderEvent::stop: break;
  }
  return "stop";
}

double nightWakeAt(int level, Band band, bool adapterCut, double now, double onSince) {
  if (!adapterCut) return onSince + kAdapterHeldOnSeconds;
  return now + std::max(kAdapterHeldOnSeconds, (level - band.lower) * kAsleepDrainSecondsPerPercent);
}
