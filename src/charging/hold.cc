#include "charging/hold.h"

#include <utility>

#include "charging/adapter_status.h"
#include "charging/battery.h"
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

/// What a run found before it decides: the battery, the key of each control
/// that has one, what the decision knows, and the first check or read that
/// failed, after which nothing more is asked.
struct Findings {
  std::optional<BatteryReading> battery{};
  std::optional<AdapterControl> adapter{};
  std::optional<std::string> chargingBackend{};
  HoldSituation situation{};
  std::optional<ErrorReport> failure{};

  /// `result`'s value, or none with its failure noted.
  template <class T>
  std::optional<T> take(SMCResult<std::optional<T>> result) {
    if (result.ok()) return result.value();
    failure = readFailure(result.error());
    return std::nullopt;
  }

  /// The status that a reading tells, empty when it tells none.
  static std::string statusOf(const std::optional<StatusReading>& reading) {
    return reading ? reading->status : std::string();
  }
};

/// When a run decides: whenever hold runs, before the Mac sleeps, or as its
/// holder stops.
enum class Moment : std::uint8_t { now, sleep, stop };

/// The battery (not at a stop, which needs no level), then the adapter and,
/// when a decision will be made, charging, each control's key before its
/// status: the adapter first, so that a cut one can still be turned back on
/// when what follows fails.
Findings find(Moment moment) {
  Findings found;
  if (moment != Moment::stop) found.battery = readBattery();
  found.adapter = found.take(adapterControlOrError());
  found.situation.adapter.usable = found.adapter.has_value();
  if (found.adapter) {
    found.situation.adapter.status = Findings::statusOf(found.take(readAdapterStatusOrError(*found.adapter)));
  }
  if (found.failure || !(found.battery || moment == Moment::stop)) return found;
  found.chargingBackend = found.take(chargingBackendOrError());
  found.situation.charging.usable = found.chargingBackend.has_value();
  if (found.chargingBackend) {
    found.situation.charging.status = Findings::statusOf(found.take(readChargingStatusOrError()));
  }
  if (found.battery) {
    found.situation.level = found.battery->level;
    found.situation.onAdapter = found.battery->onAdapter;
  }
  return found;
}

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
  /// tried, also after one has failed.
  template <class Write>
  void bring(std::string_view name, bool on, const ControlState& state, Write write) {
    if (state.status == (on ? "enabled" : "disabled")) return;
    if (state.status == "unknown") {
      note(ErrorReport{.code = std::string(kStatusUnknownCode), .message = std::string(kStatusUnknownMessage)});
      return;
    }
    auto failed = failureOf(write(on));
    if (failed) {
      note(std::move(failed));
    } else {
      list.emplace_back(name, on ? "on" : "off");
    }
  }
};

/// Carries out `decision` through the keys found. Charging goes off before
/// the adapter is written and on after it, so that neither edge lets the
/// battery charge for a moment.
void apply(const Findings& found, const HoldDecision& decision, Writes& run) {
  const auto charging = [&](bool on) {
    run.bring("charging", on, found.situation.charging,
              [&](bool value) { return writeCharging(value, *found.chargingBackend); });
  };
  if (decision.charging == false) charging(false);
  if (decision.adapter) {
    run.bring("adapter", *decision.adapter, found.situation.adapter,
              [&](bool value) { return WriteOutcome(writeAdapter(value, *found.adapter)); });
  }
  if (decision.charging == true) charging(true);
}

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

HoldDecision decideHold(const HoldSituation& situation, Band band) {
  if (band.upper == 100) return allOn(situation);
  if (unplugged(situation)) return {.charging = onlyIf(situation.charging.usable, true)};
  std::optional<bool> edge;
  if (situation.level <= band.lower) edge = true;
  if (situation.level >= band.upper) edge = false;
  // With both, charging keeps the level and the adapter is cut only above
  // the band, so the battery rests at the upper level instead of cycling.
  if (situation.adapter.usable && situation.charging.usable) {
    return {.adapter = situation.level <= band.upper, .charging = edge};
  }
  return {.adapter = onlyIf(situation.adapter.usable, edge), .charging = onlyIf(situation.charging.usable, edge)};
}

HoldDecision decideSleep(const HoldSituation& situation, Band band) {
  // With the adapter alone nothing can keep the level still: a cut adapter
  // would run the battery down through the night, so it charges instead,
  // and the decision at wake brings the level back.
  if (band.upper == 100 || !situation.charging.usable) return allOn(situation);
  if (unplugged(situation)) return {};
  return {.adapter = onlyIf(situation.adapter.usable, true), .charging = situation.level < band.lower};
}

namespace {

/// The run of `moment`, its line that of `command` at `event`.
JsonResponse runAt(const std::string& command, std::optional<std::string> event, Band band, Moment moment) {
  const Findings found = find(moment);
  const bool stop = moment == Moment::stop;
  Writes run;
  if ((!found.battery && !stop) || found.failure) {
    // What failed tells nothing certain of the level or of the controls, so
    // nothing is decided; but no Mac is left running down its battery on it.
    if (found.situation.adapter.status == "disabled") apply(found, {.adapter = true}, run);
  } else if (!found.adapter && !found.chargingBackend) {
    // Nothing to hold with. A stop has nothing to undo either.
    if (!stop) run.note(failureOf(std::nullopt));
  } else {
    const HoldSituation& situation = found.situation;
    apply(found, stop ? allOn(situation) : moment == Moment::sleep ? decideSleep(situation, band)
                                                                    : decideHold(situation, band),
          run);
  }

  const auto level = found.battery ? std::optional(found.battery->level) : std::nullopt;
  std::optional<ErrorReport> failure = found.failure ? found.failure : run.failure;
  if (!found.battery && !stop) {
    failure = ErrorReport{.code = std::string(kBatteryUnavailableCode),
                          .message = std::string(kBatteryUnavailableMessage)};
  }
  return {.ok = !failure, .command = command, .event = std::move(event), .level = level,
          .code = failure ? std::optional(std::move(failure->code)) : std::nullopt,
          .error = failure ? std::optional(std::move(failure->message)) : std::nullopt,
          .writes = std::move(run.list)};
}

}  // namespace

JsonResponse holdResponse(const std::string& command, Band band) {
  return runAt(command, std::nullopt, band, Moment::now);
}

std::string_view eventWord(HolderEvent event) {
  switch (event) {
    case HolderEvent::start: return "start";
    case HolderEvent::timer: return "timer";
    case HolderEvent::power: return "power";
    case HolderEvent::sleep: return "sleep";
    case HolderEvent::wake: return "wake";
    case HolderEvent::stop: break;
  }
  return "stop";
}

JsonResponse holderResponse(const std::string& command, Band band, HolderEvent event) {
  const Moment moment = event == HolderEvent::sleep ? Moment::sleep
                        : event == HolderEvent::stop ? Moment::stop
                                                     : Moment::now;
  return runAt(command, std::string(eventWord(event)), band, moment);
}
