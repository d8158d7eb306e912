#include "platform/emulated/emulated_battery.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace emu {

namespace {

/// Whether `name` holds `first` followed by nothing but zeros.
bool holds(const std::map<std::string, Key>& keys, std::string_view name, std::uint8_t first) {
  const auto found = keys.find(std::string(name));
  if (found == keys.end() || found->second.value.empty()) return false;
  const Bytes& value = found->second.value;
  return value.front() == first && std::all_of(value.begin() + 1, value.end(), [](auto b) { return b == 0; });
}

bool firstByteSet(const std::map<std::string, Key>& keys, std::string_view name) {
  const auto found = keys.find(std::string(name));
  return found != keys.end() && !found->second.value.empty() && found->second.value.front() != 0;
}

}  // namespace

bool adapterCut(const std::map<std::string, Key>& keys) {
  // The control is the first of the keys that has a value, as for the helper.
  static constexpr std::array<std::pair<std::string_view, std::uint8_t>, 3> kOff{
      {{"CHIE", 0x08}, {"CH0J", 0x01}, {"CH0I", 0x01}}};
  for (const auto& [name, off] : kOff) {
    const auto found = keys.find(std::string(name));
    if (found != keys.end() && !found->second.value.empty()) return holds(keys, name, off);
  }
  return false;
}

bool chargingInhibited(const std::map<std::string, Key>& keys) {
  if (const auto chte = keys.find("CHTE"); chte != keys.end() && !chte->second.value.empty()) {
    std::array<std::uint8_t, 4> first{};
    std::copy_n(chte->second.value.begin(), std::min<std::size_t>(first.size(), chte->second.value.size()),
                first.begin());
    return first == std::array<std::uint8_t, 4>{1, 0, 0, 0};
  }
  return firstByteSet(keys, "CH0B") || firstByteSet(keys, "CH0C");
}

PowerState powerState(const std::map<std::string, Key>& keys, int charge, bool connected) {
  const bool onAdapter = connected && !adapterCut(keys);
  return {.onAdapter = onAdapter, .charging = onAdapter && !chargingInhibited(keys) && charge < kFullCharge};
}

Activity activityOf(PowerState state) {
  if (state.charging) return Activity::charging;
  return state.onAdapter ? Activity::still : Activity::draining;
}

std::optional<std::int64_t> tenthPace(Activity activity, bool asleep) {
  switch (activity) {
    case Activity::charging: return kChargingTenthMs;
    case Activity::draining: return asleep ? kAsleepDrainingTenthMs : kDrainingTenthMs;
    case Activity::still: break;
  }
  return std::nullopt;
}

int chargeAfter(int charge, std::int64_t ms, Activity activity, bool asleep) {
  const auto pace = tenthPace(activity, asleep);
  if (!pace) return charge;
  // Capped first: a year of tenths does not fit an int.
  const auto tenths = static_cast<int>(std::min<std::int64_t>(ms / *pace, kFullCharge));
  return activity == Activity::charging ? std::min(kFullCharge, charge + tenths) : std::max(0, charge - tenths);
}

platform::PowerSourceDescription batteryDescription(int charge, PowerState state) {
  // Each value is made, then moved in, never copied: a variant whose string
  // copy runs out of memory reaches, in libstdc++ 12 built with clang, a
  // point marked unreachable (UBSan stops there), and smc-emu's tests make
  // each allocation fail in turn.
  platform::PowerSourceDescription description;
  description.reserve(8);
  description.emplace_back("Name", std::string("InternalBattery-0"));
  description.emplace_back("Type", std::string("InternalBattery"));
  description.emplace_back("Transport Type", std::string("Internal"));
  description.emplace_back("Is Present", true);
  description.emplace_back("Current Capacity", std::int64_t{charge / 10});
  description.emplace_back("Max Capacity", std::int64_t{100});
  description.emplace_back("Power Source State", std::string(state.onAdapter ? "AC Power" : "Battery Power"));
  description.emplace_back("Is Charging", state.charging);
  return description;
}

}  // namespace emu
