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

/// What the run has written so far, and its first failure.
struct HoldRun {
  WriteList writes{};
  std::optional<ErrorReport> failure{};

  /// Writes `name` to `on` through `write` unless `current` already reads so.
  /// A failure is kept, the first only, and the run goes on: every needed
  /// write is tried.
  template <class Write>
  void bring(std::string_view name, bool on, const std::optional<StatusReading>& current, Write write) {
    if (current && current->status == (on ? "enabled" : "disabled")) return;
    const WriteOutcome outcome = write(on);
    auto failed = failureOf(outcome);
    if (!failed) {
      writes.emplace_back(name, on ? "on" : "off");
    } else if (!failure) {
      failure = std::move(failed);
    }
  }

  void adapter(bool on, const AdapterControl& control) {
    bring("adapter", on, readAdapterStatus(control), writeAdapter);
  }
  void charging(bool on) { bring("charging", on, readChargingStatus(), writeCharging); }
};

}  // namespace

std::optional<Band> parseBand(std::string_view lower, std::string_view upper) {
  const auto low = percentOf(lower);
  const auto high = percentOf(upper);
  if (!low || !high || *low >= *high || *high > 100) return std::nullopt;
  return Band{.lower = *low, .upper = *high};
}

HoldDecision decideHold(int level, Band band, bool adapterUsable, bool chargingUsable) {
  std::optional<bool> edge;
  if (level <= band.lower) edge = true;
  if (level >= band.upper) edge = false;
  // With both, charging keeps the level and the adapter is cut only above
  // the band, so the battery rests at the upper level instead of cycling.
  if (adapterUsable && chargingUsable) return {.adapter = level <= band.upper, .charging = edge};
  return {.adapter = adapterUsable ? edge : std::nullopt, .charging = chargingUsable ? edge : std::nullopt};
}

JsonResponse holdResponse(const std::string& command, Band band) {
  HoldRun run;
  const auto battery = readBattery();
  const auto adapter = adapterControl();
  if (!battery) {
    // A reading that failed tells nothing of the level, so nothing is held;
    // but no Mac is left running down its battery on it.
    if (adapter) run.adapter(true, *adapter);
    return {.ok = false, .command = command, .code = std::string(kBatteryUnavailableCode),
            .error = std::string(kBatteryUnavailableMessage), .writes = std::move(run.writes)};
  }
  const bool chargingUsable = chargingBackend().has_value();
  if (!adapter && !chargingUsable) {
    run.failure = failureOf(std::nullopt);
  } else {
    const HoldDecision decision = decideHold(battery->level, band, adapter.has_value(), chargingUsable);
    // Charging goes off before the adapter is written and on after it, so
    // that neither edge lets the battery charge for a moment.
    if (decision.charging == false) run.charging(false);
    if (decision.adapter) run.adapter(*decision.adapter, *adapter);
    if (decision.charging == true) run.charging(true);
  }
  if (!run.failure) {
    return {.ok = true, .command = command, .level = battery->level, .writes = std::move(run.writes)};
  }
  return {.ok = false, .command = command, .level = battery->level, .code = std::move(run.failure->code),
          .error = std::move(run.failure->message), .writes = std::move(run.writes)};
}
