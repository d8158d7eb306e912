#include "charging/battery.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/attached_machine.h"

namespace {

using platform::PowerSourceDescription;
using Sources = std::vector<PowerSourceDescription>;

/// A machine with no SMC that describes the power sources it is given.
class PowerOnly final : public platform::Machine {
 public:
  std::optional<std::vector<PowerSourceDescription>> sources;

  io_service_t matchService(std::string_view) override { return 0; }
  kern_return_t openService(io_service_t, task_port_t, uint32_t, io_connect_t*) override { return kIOReturnError; }
  kern_return_t releaseObject(io_object_t) override { return kIOReturnError; }
  kern_return_t closeConnection(io_connect_t) override { return kIOReturnError; }
  kern_return_t callStructMethod(io_connect_t, uint32_t, const void*, size_t, void*, size_t*) override {
    return kIOReturnError;
  }
  std::optional<int> sysctlInteger(std::string_view) override { return std::nullopt; }
  std::optional<std::vector<PowerSourceDescription>> powerSources() override { return sources; }
};

PowerSourceDescription battery(platform::PowerValue current, platform::PowerValue max) {
  return {{"Type", std::string("InternalBattery")}, {"Is Present", true}, {"Current Capacity", std::move(current)},
          {"Max Capacity", std::move(max)}, {"Power Source State", std::string("AC Power")}, {"Is Charging", true}};
}

}  // namespace

// What a run of smc-emu cannot show: descriptions that its battery never
// gives. Each is read as the real API's would be; a level only from integer
// capacities with 0 <= current <= max, max > 0.
TEST(Battery, EachDescription) {
  const PowerSourceDescription ups{{"Type", std::string("UPS")}, {"Is Present", true},
                                   {"Current Capacity", std::int64_t{5}}, {"Max Capacity", std::int64_t{100}}};
  PowerSourceDescription absent = battery(std::int64_t{50}, std::int64_t{100});
  absent[1].second = false;
  PowerSourceDescription presentAsNumber = battery(std::int64_t{50}, std::int64_t{100});
  presentAsNumber[1].second = std::int64_t{1};
  PowerSourceDescription onBattery = battery(std::int64_t{1}, std::int64_t{3});
  onBattery[4].second = std::string("Battery Power");
  onBattery.pop_back();  // no "Is Charging": not charging
  PowerSourceDescription noMax = battery(std::int64_t{5}, std::int64_t{9});
  noMax.erase(noMax.begin() + 3);
  const struct {
    const char* what;
    std::optional<Sources> sources;
    std::optional<int> level;
  } cases[] = {
      {"no information", std::nullopt, std::nullopt},
      {"no power source", Sources{}, std::nullopt},
      {"a UPS before the battery", Sources{ups, battery(std::int64_t{2}, std::int64_t{3})}, 66},
      {"only a UPS", Sources{ups}, std::nullopt},
      {"not present", Sources{absent}, std::nullopt},
      {"present as a number", Sources{presentAsNumber}, std::nullopt},
      {"full", Sources{battery(std::int64_t{4000}, std::int64_t{4000})}, 100},
      {"empty", Sources{battery(std::int64_t{0}, std::int64_t{1})}, 0},
      {"above its maximum", Sources{battery(std::int64_t{101}, std::int64_t{100})}, std::nullopt},
      {"a maximum of 0", Sources{battery(std::int64_t{0}, std::int64_t{0})}, std::nullopt},
      {"negative", Sources{battery(std::int64_t{-1}, std::int64_t{100})}, std::nullopt},
      {"beyond an int", Sources{battery(std::int64_t{1} << 40, std::int64_t{1} << 41)}, std::nullopt},
      {"a text capacity", Sources{battery(std::string("50"), std::int64_t{100})}, std::nullopt},
      {"a capacity missing", Sources{noMax}, std::nullopt},
  };
  PowerOnly mac;
  platform::attachMachine(&mac);
  for (const auto& c : cases) {
    mac.sources = c.sources;
    const auto reading = readBattery();
    EXPECT_EQ(reading ? std::optional(reading->level) : std::nullopt, c.level) << c.what;
    if (reading) {
      EXPECT_TRUE(reading->onAdapter && reading->charging) << c.what;
    }
  }
  mac.sources = Sources{onBattery};
  const auto reading = readBattery();
  ASSERT_TRUE(reading);
  EXPECT_EQ(reading->level, 33);
  EXPECT_FALSE(reading->onAdapter || reading->charging);
  platform::attachMachine(nullptr);
}
