#include "charging/charging_status.h"

#include <gtest/gtest.h>

#include "testing/emulated_test.h"

namespace {

using ChargingStatusTest = testing_support::EmulatedTest;

constexpr const char* kNone = "-";  // the key does not exist

TEST_F(ChargingStatusTest, StatusTable) {
  const struct {
    const char* chte;
    const char* ch0b;
    std::optional<ChargingStatus> status;
    size_t reads;
  } cases[] = {
      {"00000000", "02", ChargingStatus{"CHTE", "enabled"}, 1},
      {"01000000", kNone, ChargingStatus{"CHTE", "disabled"}, 1},
      {"02000000", kNone, ChargingStatus{"CHTE", "unknown"}, 1},
      {"00000001", kNone, ChargingStatus{"CHTE", "unknown"}, 1},
      {"01000001", kNone, ChargingStatus{"CHTE", "unknown"}, 1},
      {"01", kNone, ChargingStatus{"CHTE", "disabled"}, 1},
      {"00", kNone, ChargingStatus{"CHTE", "enabled"}, 1},
      {"02", kNone, ChargingStatus{"CHTE", "unknown"}, 1},
      {"00000000ffffffff", kNone, ChargingStatus{"CHTE", "enabled"}, 1},
      // An empty CHTE is a placeholder: it says nothing, so CH0B decides.
      {"", "02", ChargingStatus{"CH0B", "disabled"}, 2},
      {"", "", std::nullopt, 2},
      {kNone, "00", ChargingStatus{"CH0B", "enabled"}, 2},
      {kNone, "01", ChargingStatus{"CH0B", "disabled"}, 2},
      {kNone, "ff", ChargingStatus{"CH0B", "disabled"}, 2},
      {kNone, "0001", ChargingStatus{"CH0B", "enabled"}, 2},
      {kNone, "", std::nullopt, 2},
      {kNone, kNone, std::nullopt, 2},
  };
  for (const auto& c : cases) {
    mac.keys.clear();
    mac.clearLog();
    if (c.chte != kNone) key("CHTE", c.chte, "ui32");
    if (c.ch0b != kNone) key("CH0B", c.ch0b);
    key("CH0C", "00");  // never read
    EXPECT_EQ(readChargingStatus(), c.status) << c.chte << " / " << c.ch0b;
    size_t reads = 0;
    for (const auto& line : trace()) {
      EXPECT_EQ(line.find("CH0C"), std::string::npos);
      if (line == "open") ++reads;
    }
    EXPECT_EQ(reads, c.reads);
  }
}

TEST_F(ChargingStatusTest, UnreadableChteFallsBackToCh0b) {
  key("CHTE", "00000000");
  key("CH0B", "02");
  mac.faults = {*emu::parseFault("read:CHTE=io-error")};
  EXPECT_EQ(readChargingStatus(), (ChargingStatus{"CH0B", "disabled"}));
}

}  // namespace
