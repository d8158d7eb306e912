#include "charging/battery_health.h"

#include <gtest/gtest.h>

#include <charconv>
#include <new>
#include <string>
#include <string_view>

#include "platform/standin/cf_objects.h"
#include "platform/emulated/emulated_mac.h"

namespace {

/// The dictionary that `text` spells, "KEY=VALUE ..." with each VALUE an
/// integer, true, false, 'text' or {KEY=VALUE ...}; reads up to a closing
/// brace or the end.
platform::cf::Owned dictionaryOf(std::string_view& text) {
  platform::cf::Entries entries;
  while (!text.empty() && text.front() != '}') {
    const std::size_t equals = text.find('=');
    platform::cf::Owned key = platform::cf::makeString(std::string(text.substr(0, equals)));
    text.remove_prefix(equals + 1);
    const std::string_view word = text.substr(0, text.find_first_of(" }"));
    platform::cf::Owned value;
    if (text.front() == '{') {
      text.remove_prefix(1);
      value = dictionaryOf(text);
    } else if (word == "true" || word == "false") {
      value = platform::cf::makeBoolean(word == "true");
    } else if (word.front() == '\'') {
      value = platform::cf::makeString(std::string(word.substr(1, word.size() - 2)));
    } else {
      std::int64_t number = 0;
      std::from_chars(word.data(), word.data() + word.size(), number);
      value = platform::cf::makeNumber(number);
    }
    // Past the value: its word, or the closing brace of a dictionary.
    text.remove_prefix(text.front() == '}' ? 1 : word.size());
    entries.emplace_back(std::move(key), std::move(value));
    if (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  }
  return platform::cf::makeDictionary(std::move(entries));
}

/// The members of the line that `figures` make, after ok and command.
std::string membersOf(const BatteryFigures& figures) {
  const std::string line = encodeJson({.ok = true, .command = "", .figures = figures});
  return line.substr(std::string_view(R"({"ok":true,"command":"",)").size());
}

}  // namespace

// Entries that no emulated Mac has: each layout with figures missing, of
// another type, out of range, and the keys that must not be taken for a
// figure (VirtualTemperature, a percentage MaxCapacity, a disconnected
// adapter's details). Each figure is read by its type and never guessed.
TEST(BatteryHealth, EachEntry) {
  const struct {
    const char* what;
    bool appleSilicon;
    const char* entry;
    const char* members;
  } cases[] = {
      {"macOS 26: the raw capacity at the top level, BatteryData with other figures", true,
       "AppleRawMaxCapacity=4050 DesignCapacity=4382 NominalChargeCapacity=4107 MaxCapacity=100 CycleCount=9 "
       "BatteryData={DesignCapacity=1 CycleCount=2} Temperature=3056 VirtualTemperature=3600 Voltage=12000 "
       "Amperage=-500 InstantAmperage=-510 ExternalConnected=true AdapterDetails={Watts=96}",
       R"("layout":"top-level","cycleCount":9,"designCapacity":4382,"nominalCapacity":4107,)"
       R"("fullChargeCapacity":4050,"nominalOverDesign":93,"temperature":30.5,"voltage":12000,"current":-500,)"
       R"("adapterWatts":96})"},
      {"macOS 27: the capacities in BatteryData, MaxCapacity a percentage", true,
       "MaxCapacity=100 CurrentCapacity=60 BatteryData={FullChargeCapacity=4000 NominalChargeCapacity=4500 "
       "DesignCapacity=4400 RemainingCapacity=2400} Temperature=3500 InstantAmperage=0",
       R"("layout":"BatteryData","designCapacity":4400,"nominalCapacity":4500,"fullChargeCapacity":4000,)"
       R"("nominalOverDesign":102,"temperature":35.0,"current":0})"},
      {"macOS 27 with only the nominal capacity there", true,
       "DesignCapacity=4382 BatteryData={NominalChargeCapacity=4107} Temperature=-5",
       R"("layout":"BatteryData","nominalCapacity":4107,"temperature":-0.1})"},
      {"Intel: MaxCapacity in mAh, whatever else stands there", false,
       "MaxCapacity=5000 AppleRawMaxCapacity=1 DesignCapacity=5100 BatteryData={FullChargeCapacity=2} "
       "Temperature=2999",
       R"("layout":"intel","designCapacity":5100,"fullChargeCapacity":5000,"temperature":29.9})"},
      {"Apple silicon's percentage is no capacity", true, "MaxCapacity=100 CurrentCapacity=60",
       R"("layout":"top-level"})"},
      {"figures of another type", true,
       "AppleRawMaxCapacity='4050' DesignCapacity=true CycleCount={Count=1} Temperature='hot' Voltage=false "
       "Amperage='-5' InstantAmperage=7 ExternalConnected=1 AdapterDetails={Watts=96} BatteryData='x'",
       R"("layout":"top-level","current":7})"},
      {"figures beyond an int, or below 0 where none can be", true,
       "AppleRawMaxCapacity=-1 DesignCapacity=0 NominalChargeCapacity=4107 CycleCount=-2 Voltage=4294967296 "
       "Temperature=-2147483648 Amperage=-2147483649 ExternalConnected=true AdapterDetails={Watts=-60}",
       R"("layout":"top-level","designCapacity":0,"nominalCapacity":4107,"temperature":-21474836.5})"},
      {"an adapter's details without its connection", true,
       "ExternalConnected=false AdapterDetails={Watts=96} Amperage=-486", R"("layout":"top-level","current":-486})"},
      {"a connected adapter that tells no watts", true, "ExternalConnected=true AdapterDetails={}",
       R"("layout":"top-level"})"},
  };
  struct Entry final : platform::Machine {
    const char* text = "";
    bool appleSilicon = true;
    io_service_t matchService(std::string_view name) override { return name == "AppleSmartBattery" ? 7 : 0; }
    kern_return_t openService(io_service_t, task_port_t, uint32_t, io_connect_t*) override { return kIOReturnError; }
    kern_return_t releaseObject(io_object_t object) override { return object == 7 ? 0 : kIOReturnError; }
    kern_return_t closeConnection(io_connect_t) override { return kIOReturnError; }
    kern_return_t callStructMethod(io_connect_t, uint32_t, const void*, size_t, void*, size_t*) override {
      return kIOReturnError;
    }
    std::optional<int> sysctlInteger(std::string_view) override { return appleSilicon ? 1 : 0; }
    std::optional<std::vector<platform::PowerSourceDescription>> powerSources() override { return std::nullopt; }
    kern_return_t createProperties(io_registry_entry_t entry, CFMutableDictionaryRef* properties) override {
      std::string_view rest = text;
      *properties = entry == 7 ? dictionaryOf(rest).release() : nullptr;
      return entry == 7 ? 0 : kIOReturnBadArgument;
    }
  } mac;
  platform::attachMachine(&mac);
  for (const auto& c : cases) {
    mac.text = c.entry;
    mac.appleSilicon = c.appleSilicon;
    const auto figures = readBatteryHealth();
    ASSERT_TRUE(figures) << c.what;
    EXPECT_EQ(membersOf(*figures), c.members) << c.what;
  }
  platform::attachMachine(nullptr);
}

// The calls that give no entry to read: a Mac without a battery, a lookup or
// a reading that fails, and one that runs out of memory. None holds the entry
// afterwards.
TEST(BatteryHealth, NoEntryToRead) {
  for (const std::string_view what : {"no battery", "no entry found", "its properties refused", "memory running out"}) {
    emu::EmulatedMac mac;
    if (what != "no battery") mac.battery = 600;
    if (what == "no entry found" || what == "its properties refused") {
      mac.faults.push_back(
          {.call = emu::Call::registry, .noDriver = what == "no entry found", .ioReturn = kIOReturnNotPrivileged});
    }
    if (what == "memory running out") mac.onEvent = [](const emu::Event&) { throw std::bad_alloc(); };
    platform::attachMachine(&mac);
    EXPECT_FALSE(readBatteryHealth()) << what;
    platform::attachMachine(nullptr);
    EXPECT_EQ(mac.heldServices(), 0U) << what;
  }
}
