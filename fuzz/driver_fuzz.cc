// Fuzzes the driver side: the input becomes a machine (keys with any size and
// value, the driver there or not, the caller's privileges, the architecture)
// the keys its firmware refuses, a battery or none, and a set of faults, and
// then every command runs on it in turn.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cli/dispatch.h"
#include "fuzz/line_check.h"
#include "platform/attached_machine.h"
#include "platform/emulated/emulated_battery.h"
#include "platform/emulated/emulated_mac.h"
#include "response/hex.h"
#include "smc/four_char.h"

namespace {

// The control keys, a generation key, a key nobody asks for, and a name
// with a high byte.
constexpr std::array<const char*, 10> kNames{"CHTE", "CH0B", "CH0C", "CH0I", "CHIE", "CH0J",
                                             "ACLC", "bfD0", "BNum", "\xff" "CH0"};

std::string keyName(FuzzedDataProvider& in) {
  return kNames.at(in.ConsumeIntegralInRange<std::size_t>(0, kNames.size() - 1));
}

void buildMachine(FuzzedDataProvider& in, emu::EmulatedMac& mac) {
  mac.driverPresent = in.ConsumeProbability<float>() > 0.05F;
  mac.privileged = in.ConsumeBool();
  mac.arch = static_cast<emu::Arch>(in.ConsumeIntegralInRange<int>(0, 2));
  if (in.ConsumeBool()) mac.battery = in.ConsumeIntegralInRange<int>(0, emu::kFullCharge);
  mac.adapterConnected = in.ConsumeBool();
  for (int n = in.ConsumeIntegralInRange<int>(0, 8); n > 0; --n) {
    const std::string name = keyName(in);
    const auto size = in.ConsumeIntegralInRange<std::uint32_t>(0, 40);
    emu::Bytes value = in.ConsumeBytes<std::uint8_t>(size);
    value.resize(size);
    mac.keys[name] = emu::Key{.type = in.ConsumeBytesAsString(4),
                              .attributes = in.ConsumeIntegral<std::uint8_t>(),
                              .value = value};
  }
  for (int n = in.ConsumeIntegralInRange<int>(0, 4); n > 0; --n) {
    emu::Fault fault{.call = static_cast<emu::Call>(in.ConsumeIntegralInRange<int>(0, 3)),
                     .key = in.ConsumeBool() ? "*" : keyName(in),
                     .nth = in.ConsumeIntegralInRange<unsigned>(0, 6)};
    if (fault.call == emu::Call::open) {
      fault.noDriver = in.ConsumeBool();
    } else {
      fault.touchReply = in.ConsumeBool();
      fault.result = in.ConsumeIntegral<std::uint8_t>();
    }
    static constexpr std::array<std::int32_t, 5> kCodes{0, kIOReturnError, kIOReturnNotPrivileged,
                                                        kIOReturnBadArgument, 1};
    fault.ioReturn = kCodes.at(in.ConsumeIntegralInRange<std::size_t>(0, kCodes.size() - 1));
    // A "fault" that answers success is no fault but a driver that lies:
    // every fault fails, by its return code or by its result byte.
    if (fault.ioReturn == 0 && fault.call == emu::Call::open && !fault.noDriver) {
      fault.ioReturn = kIOReturnError;
    } else if (fault.ioReturn == 0 && fault.call != emu::Call::open) {
      fault.touchReply = true;
      fault.result = std::max<std::uint8_t>(fault.result, 1);
    }
    mac.faults.push_back(fault);
  }
  for (int n = in.ConsumeIntegralInRange<int>(0, 2); n > 0; --n) mac.refused.insert(keyName(in));
}

/// A key that `keys` reports as known is the machine's, with its type (four
/// bytes, zero-padded), its size, its attribute byte and, when read, its
/// value cut to 32 bytes: a fault can only make a call fail, never change an
/// answer.
void requireKeysAgree(const nlohmann::ordered_json& keys, const emu::EmulatedMac& mac) {
  for (const auto& item : keys.items()) {
    const auto& report = item.value();
    if (!report["known"].get<bool>()) continue;
    const auto found = mac.keys.find(item.key());
    fuzz::require(found != mac.keys.end() && !mac.refused.contains(item.key()), "a known key exists");
    const emu::Key& key = found->second;
    std::string type = key.type;
    type.resize(4, '\0');
    // The type's spelling (each byte as U+0000 to U+00FF) is pinned next to toFourChar.
    fuzz::require(report["type"] == toFourChar(fourChar(type)) && report["size"] == key.value.size() &&
                      report["attributes"] == hexOf(emu::Bytes{key.attributes}),
                  "the key's type, size and attribute byte");
    const emu::Bytes first(key.value.begin(),
                           key.value.begin() + std::min<std::ptrdiff_t>(std::ssize(key.value), 32));
    fuzz::require(!report.contains("value") || report["value"] == hexOf(first), "the key's value");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  emu::EmulatedMac mac;
  buildMachine(in, mac);
  platform::attachMachine(&mac);
  static const std::array<std::vector<std::string>, 12> kRuns{{
      {"smc-charge", "controls"},
      {"smc-charge", "adapter-status"},
      {"smc-charge", "capabilities"},
      {"smc-charge", "keys"},
      {"smc-charge", "version"},
      {"smc-charge", "charging-status"},
      {"smc-charge", "charging", "on"},
      {"smc-charge", "charging", "off"},
      {"smc-charge", "adapter", "on"},
      {"smc-charge", "adapter", "off"},
      {"smc-charge", "battery"},
      {"smc-charge", "hold", "75", "80"},
  }};
  for (const auto& args : kRuns) {
    mac.clearLog();
    const auto line = fuzz::checkedLine(outputLine(respond(args)));
    fuzz::requireDocumentedShape(line, args[1]);
    fuzz::require(mac.openConnections() == 0 && mac.heldServices() == 0, "connections balance");
    fuzz::require(mac.maxOpenConnections() <= 1, "at most one connection at a time");
    if (args[1] == "keys") requireKeysAgree(line["keys"], mac);
    // Only "charging", "adapter" and "hold" write; every other command only asks.
    const bool writer = args.size() > 2;
    for (const auto& event : mac.log()) {
      fuzz::require(writer || event.kind != emu::Event::Kind::write, "only a write writes");
    }
    fuzz::require(args[1] != "version" || mac.log().empty(), "version makes no driver call");
    // A reported success must be a write the controller carried out.
    const bool claimsWrite = args.size() == 3 || (line.contains("writes") && !line["writes"].empty());
    if (line["ok"] == true && writer && claimsWrite) {
      bool wrote = false;
      for (const auto& event : mac.log()) {
        wrote = wrote || (event.kind == emu::Event::Kind::write && !event.failed() &&
                          !event.bytes.empty());
      }
      fuzz::require(wrote, "a successful write wrote something");
    }
  }
  platform::attachMachine(nullptr);
  return 0;
}
