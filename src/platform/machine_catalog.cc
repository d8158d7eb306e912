#include "platform/machine_catalog.h"

#include <array>
#include <utility>

namespace emu {

namespace {

// A key whose value is `value` and whose size is the value's length; an empty
// value makes a key that exists and holds no data.
std::pair<const std::string, Key> key(const char* name, const char* type, Bytes value) {
  const auto size = static_cast<std::uint32_t>(value.size());
  return {name, Key{type, size, std::move(value)}};
}

// Each machine is made only when asked for: a run of smc-emu starts one, and
// making all of them would cost more than the helper's whole run.
// The SMC's own type codes are four characters: "ui8 " ends in a blank.
constexpr std::array<BuiltinMachine, 8> kCatalog{{
    {"apple-silicon", "a recent Apple silicon Mac: CHTE and CHIE, placeholders for CH0B, CH0C, CH0I",
     [] {
       return MachineState{Arch::arm64, true,
                           {key("CHTE", "ui32", {0, 0, 0, 0}), key("CHIE", "hex_", {0}), key("CH0B", "hex_", {}),
                            key("CH0C", "hex_", {}), key("CH0I", "ui8 ", {}), key("ACLC", "ui8 ", {0})}};
     }},
    {"apple-silicon-legacy", "an Apple silicon Mac on older firmware: CH0B, CH0C, CH0I, CH0J",
     [] {
       return MachineState{Arch::arm64, true,
                           {key("CH0B", "hex_", {0}), key("CH0C", "hex_", {0}), key("CH0I", "ui8 ", {0}),
                            key("CH0J", "ui8 ", {0}), key("ACLC", "ui8 ", {0})}};
     }},
    {"intel", "an Intel Mac: CH0B, CH0C, CH0I, and no hw.optional.arm64 at all",
     [] {
       return MachineState{Arch::absent, true,
                           {key("CH0B", "hex_", {0}), key("CH0C", "hex_", {0}), key("CH0I", "ui8 ", {0}),
                            key("ACLC", "ui8 ", {0})}};
     }},
    {"placeholder", "firmware that keeps only zero-size CHTE, CH0B, CH0C, CH0I, and a CHIE",
     [] {
       return MachineState{Arch::arm64, true,
                           {key("CHTE", "ui32", {}), key("CH0B", "hex_", {}), key("CH0C", "hex_", {}),
                            key("CH0I", "ui8 ", {}), key("CHIE", "hex_", {0})}};
     }},
    // What firmware updates did to the keys: CH0B, CH0C and CH0I became
    // placeholders, then CHTE too, and CH0J is refused even to root.
    {"apple-silicon-15.7",
     "Apple silicon, firmware of macOS 15.7 and 26: CHTE and CHIE; CH0B, CH0C, CH0I "
     "placeholders; CH0J refused even to root",
     [] {
       return MachineState{Arch::arm64, true,
                           {key("CHTE", "ui32", {0, 0, 0, 0}), key("CHIE", "hex_", {0}), key("CH0B", "hex_", {}),
                            key("CH0C", "hex_", {}), key("CH0I", "ui8 ", {}), key("ACLC", "ui8 ", {0})},
                           {"CH0J"}};
     }},
    {"apple-silicon-15.8",
     "Apple silicon, firmware of macOS 15.8, 26.7 and 27: CHIE the only control; CHTE, CH0B, "
     "CH0C, CH0I placeholders; CH0J refused even to root",
     [] {
       return MachineState{Arch::arm64, true,
                           {key("CHTE", "ui32", {}), key("CHIE", "hex_", {0}), key("CH0B", "hex_", {}),
                            key("CH0C", "hex_", {}), key("CH0I", "ui8 ", {}), key("ACLC", "ui8 ", {0})},
                           {"CH0J"}};
     }},
    {"bare", "an SMC that knows none of the charging keys", [] { return MachineState{Arch::arm64, true, {}}; }},
    {"no-driver", "no AppleSMC service at all", [] { return MachineState{Arch::arm64, false, {}}; }},
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
}

MachineState stateOf(const EmulatedMac& mac) {
  return {mac.arch, mac.driverPresent, mac.keys, mac.refused};
}

}  // namespace emu
