#include "platform/emulated/machine_catalog.h"

#include <array>
#include <utility>

#include "platform/emulated/emulated_battery.h"

namespace emu {

namespace {

// A key whose value is `value` (its size is the value's length); an empty
// value makes a key that exists and holds no data.
std::pair<const std::string, Key> key(const char* name, std::string_view type, Bytes value,
                                      std::uint8_t attributes = kDefaultAttributes) {
  return {name, Key{.type = std::string(type), .attributes = attributes, .value = std::move(value)}};
}

// A placeholder as the newest firmware keeps it: no size, a blank type and
// no attribute bit, as probes show it.
std::pair<const std::string, Key> blank(const char* name) { return key(name, kBlankType, {}, 0); }

// Each machine with a control has an internal battery, at 60 percent.
// Each machine is made only when asked for: a run of smc-emu starts one, and
// making all of them would cost more than the helper's whole run.
// The SMC's own type codes are four characters: "ui8 " ends in a blank.
// What firmware updates did to the keys, machine by machine: CH0B, CH0C and
// CH0I became placeholders and CHTE took over; then CH0J was refused even to
// root; then CHTE became a placeholder too, with blank types, and the
// charge-limit and firmware-limit keys were refused as well.
constexpr std::array<BuiltinMachine, 8> kCatalog{{
    {"apple-silicon",
     "Apple silicon, firmware of macOS 15 before 15.7 (the default): CHTE and CHIE; CH0B, CH0C, "
     "CH0I placeholders",
     [] {
       return MachineState{.keys = {key("CHTE", "ui32", {0, 0, 0, 0}), key("CHIE", "hex_", {0}),
                                    key("CH0B", "hex_", {}), key("CH0C", "hex_", {}),
                                    key("CH0I", "ui8 ", {}), key("ACLC", "ui8 ", {0})},
                           .battery = kStartingCharge};
     }},
    {"apple-silicon-legacy", "Apple silicon, firmware of macOS 11 to 14: CH0B, CH0C, CH0I, CH0J",
     [] {
       return MachineState{.keys = {key("CH0B", "hex_", {0}), key("CH0C", "hex_", {0}),
                                    key("CH0I", "ui8 ", {0}), key("CH0J", "ui8 ", {0}),
                                    key("ACLC", "ui8 ", {0})},
                           .battery = kStartingCharge};
     }},
    {"intel", "an Intel Mac: CH0B, CH0C, CH0I, and no hw.optional.arm64 at all",
     [] {
       return MachineState{.arch = Arch::absent,
                           .keys = {key("CH0B", "hex_", {0}), key("CH0C", "hex_", {0}),
                                    key("CH0I", "ui8 ", {0}), key("ACLC", "ui8 ", {0})},
                           .battery = kStartingCharge,
                           .entry = {.layout = EntryLayout::intel}};
     }},
    {"placeholder", "no firmware's own: only zero-size CHTE, CH0B, CH0C, CH0I, and a CHIE",
     [] {
       return MachineState{.keys = {key("CHTE", "ui32", {}), key("CH0B", "hex_", {}),
                                    key("CH0C", "hex_", {}), key("CH0I", "ui8 ", {}),
                                    key("CHIE", "hex_", {0})},
                           .battery = kStartingCharge};
     }},
    {"apple-silicon-15.7",
     "Apple silicon, firmware of macOS 15.7 and 26 before 26.7: CHTE and CHIE; CH0B, CH0C, CH0I "
     "placeholders; CH0J refused even to root",
     [] {
       return MachineState{.keys = {key("CHTE", "ui32", {0, 0, 0, 0}), key("CHIE", "hex_", {0}),
                                    key("CH0B", "hex_", {}), key("CH0C", "hex_", {}),
                                    key("CH0I", "ui8 ", {}), key("ACLC", "ui8 ", {0})},
                           .refused = {"CH0J"},
                           .battery = kStartingCharge};
     }},
    {"apple-silicon-15.8",
     "Apple silicon, firmware of macOS 15.8, 26.7 and 27 (Macs as shipped since autumn 2026): "
     "CHIE the only control; CHTE, CH0B, CH0C, CH0I blank placeholders; CH0J, CHLS, CHIB, bfD0, "
     "bfE0, bfF0 refused even to root; the battery's entry as macOS 27 lays it out",
     [] {
       return MachineState{.keys = {blank("CHTE"), key("CHIE", "hex_", {0}), blank("CH0B"),
                                    blank("CH0C"), blank("CH0I"), key("ACLC", "ui8 ", {0})},
                           .refused = {"CH0J", "CHLS", "CHIB", "bfD0", "bfE0", "bfF0"},
                           .battery = kStartingCharge,
                           .entry = {.layout = EntryLayout::batteryData}};
     }},
    {"bare", "an SMC that knows none of the charging keys", [] { return MachineState{}; }},
    {"no-driver", "no AppleSMC service at all", [] { return MachineState{.driverPresent = false}; }},
}};

}  // namespace

std::span<const BuiltinMachine> builtinMachines() { return kCatalog; }

const BuiltinMachine* findBuiltinMachine(std::string_view name) {
  for (const BuiltinMachine& machine : builtinMachines()) {
    if (machine.name == name) return &machine;
  }
  return nullptr;
}

std::string_view archWord(Arch arch) {
  switch (arch) {
    case Arch::arm64: return "arm64";
    case Arch::x86_64: return "x86_64";
    case Arch::absent: break;
  }
  return "absent";
}

std::optional<Arch> archFromWord(std::string_view word) {
  for (const Arch arch : {Arch::arm64, Arch::x86_64, Arch::absent}) {
    if (archWord(arch) == word) return arch;
  }
  return std::nullopt;
}

void applyState(EmulatedMac& mac, const MachineState& state) {
  mac.arch = state.arch;
  mac.driverPresent = state.driverPresent;
  mac.keys = state.keys;
  mac.refused = state.refused;
  mac.battery = state.battery;
  mac.batteryEntry = state.entry;
}

MachineState stateOf(const EmulatedMac& mac) {
  return {.arch = mac.arch, .driverPresent = mac.driverPresent, .keys = mac.keys, .refused = mac.refused,
          .battery = mac.battery, .entry = mac.batteryEntry};
}

}  // namespace emu
