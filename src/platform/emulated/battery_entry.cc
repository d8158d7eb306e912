#include "platform/emulated/battery_entry.h"

#include <array>
#include <utility>

#include "platform/emulated/emulated_battery.h"

namespace emu {

namespace {

constexpr std::array<std::string_view, 3> kLayoutWords{"top-level", "BatteryData", "intel"};

/// Adds `key` with `number`, when there is one.
void putNumber(platform::cf::Entries& entries, const char* key, std::optional<std::int64_t> number) {
  if (number) entries.emplace_back(platform::cf::makeString(key), platform::cf::makeNumber(*number));
}

void putFlag(platform::cf::Entries& entries, const char* key, bool flag) {
  entries.emplace_back(platform::cf::makeString(key), platform::cf::makeBoolean(flag));
}

void putDictionary(platform::cf::Entries& entries, const char* key, platform::cf::Entries&& dictionary) {
  entries.emplace_back(platform::cf::makeString(key), platform::cf::makeDictionary(std::move(dictionary)));
}

/// `part` tenths of a percent of `whole`, rounded down.
std::optional<std::int64_t> share(std::optional<int> whole, int part) {
  if (!whole) return std::nullopt;
  return std::int64_t{*whole} * part / kFullCharge;
}

}  // namespace

std::string_view layoutWord(EntryLayout layout) { return kLayoutWords.at(static_cast<std::size_t>(layout)); }

std::optional<EntryLayout> layoutFromWord(std::string_view word) {
  for (std::size_t i = 0; i < kLayoutWords.size(); ++i) {
    if (kLayoutWords.at(i) == word) return static_cast<EntryLayout>(i);
  }
  return std::nullopt;
}

platform::cf::Owned entryProperties(const BatteryEntry& entry, int charge, bool onAdapter, Activity activity) {
  // The current that moves the charge at the battery's paces: 0.5 percent of
  // the full charge a minute is 30 percent of it an hour, in mA for mAh;
  // draining awake, 0.2 percent a minute.
  const int full = entry.fullChargeCapacity.value_or(0);
  int current = 0;
  if (activity == Activity::charging) current = full * 3 / 10;
  if (activity == Activity::draining) current = -full * 12 / 100;
  platform::cf::Entries top;
  putNumber(top, "CycleCount", entry.cycleCount);
  putFlag(top, "ExternalConnected", onAdapter);
  putFlag(top, "IsCharging", activity == Activity::charging);
  putFlag(top, "FullyCharged", charge == kFullCharge);
  // From 11 V empty to 12.5 V full.
  putNumber(top, "Voltage", std::int64_t{11'000 + charge * 3 / 2});
  putNumber(top, "Amperage", std::int64_t{current});
  putNumber(top, "InstantAmperage", std::int64_t{current});
  putNumber(top, "Temperature", entry.temperature);
  // An estimate that wanders degrees away from the battery's own figure.
  if (entry.temperature) putNumber(top, "VirtualTemperature", *entry.temperature + 412);
  platform::cf::Entries adapter;
  putNumber(adapter, "Watts", std::int64_t{kAdapterWatts});
  putDictionary(top, "AdapterDetails", std::move(adapter));
  platform::cf::Entries data;
  putNumber(data, "CycleCount", entry.cycleCount);
  putNumber(data, "DesignCapacity", entry.designCapacity);
  switch (entry.layout) {
    case EntryLayout::topLevel:
    case EntryLayout::intel:
      putNumber(top, "DesignCapacity", entry.designCapacity);
      putNumber(top, "NominalChargeCapacity", entry.nominalCapacity);
      break;
    case EntryLayout::batteryData:
      putNumber(data, "NominalChargeCapacity", entry.nominalCapacity);
      putNumber(data, "FullChargeCapacity", entry.fullChargeCapacity);
      putNumber(data, "RemainingCapacity", share(entry.fullChargeCapacity, charge));
      break;
  }
  if (entry.layout == EntryLayout::intel) {
    // Intel's capacities count mAh, and it has no BatteryData.
    putNumber(top, "MaxCapacity", entry.fullChargeCapacity);
    putNumber(top, "CurrentCapacity", share(entry.fullChargeCapacity, charge));
  } else {
    // Apple silicon's are percentages.
    putNumber(top, "MaxCapacity", std::int64_t{100});
    putNumber(top, "CurrentCapacity", std::int64_t{charge / 10});
    if (entry.layout == EntryLayout::topLevel) {
      putNumber(top, "AppleRawMaxCapacity", entry.fullChargeCapacity);
      putNumber(top, "AppleRawCurrentCapacity", share(entry.fullChargeCapacity, charge));
    }
    putDictionary(top, "BatteryData", std::move(data));
  }
  return platform::cf::makeDictionary(std::move(top));
}

}  // namespace emu
