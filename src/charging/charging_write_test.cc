#include "charging/charging_write.h"

#include <gtest/gtest.h>

#include "testing/emulated_test.h"

namespace {

using Lines = std::vector<std::string>;

struct WriteCase {
  std::vector<std::string> keys;  // present, one byte each ("CHTE": four)
  bool on;
  const char* fault;              // or nullptr
  Lines calls;
  std::optional<std::string> backend;
  bool ok;
};

class ChargingWriteTest : public testing_support::EmulatedTest {
 protected:
  /// Runs `write` on a machine with the case's keys and fault and checks
  /// its calls and outcome.
  void expectCalls(const WriteCase& c, WriteOutcome (*write)(bool));

  /// The calls, one word each: "check CHTE" for an information query over
  /// its own connection, "write CHTE 01000000" for a write (whose own
  /// information query is folded in).
  Lines calls() const {
    Lines out;
    const auto lines = trace();
    for (size_t i = 0; i < lines.size(); ++i) {
      if (lines[i] != "open") continue;
      if (i + 2 < lines.size() && lines[i + 2].starts_with("write ")) {
        out.push_back(lines[i + 2]);
        i += 2;
      } else if (i + 1 < lines.size() && lines[i + 1].starts_with("info ")) {
        out.push_back("check " + lines[i + 1].substr(5, 4));
      }
    }
    return out;
  }
};

void ChargingWriteTest::expectCalls(const WriteCase& c, WriteOutcome (*write)(bool)) {
  mac.keys.clear();
  mac.clearLog();
  mac.faults.clear();
  for (const auto& name : c.keys) key(name, name == "CHTE" ? "00000000" : "00");
  if (c.fault != nullptr) mac.faults.push_back(*emu::parseFault(c.fault));
  const WriteOutcome outcome = write(c.on);
  EXPECT_EQ(calls(), c.calls) << c.calls.back();
  ASSERT_EQ(outcome.has_value(), c.backend.has_value());
  if (outcome) {
    EXPECT_EQ(outcome->backend, *c.backend);
    EXPECT_EQ(outcome->result.ok(), c.ok);
  }
}

TEST_F(ChargingWriteTest, ChargingCallSequences) {
  const WriteCase cases[] = {
      {{"CHTE", "CH0B", "CH0C"}, false, nullptr, {"check CHTE", "write CHTE 01000000"}, "CHTE", true},
      {{"CHTE"}, true, nullptr, {"check CHTE", "write CHTE 00000000"}, "CHTE", true},
      {{"CHTE", "CH0B"}, false, "write:CHTE=not-privileged", {"check CHTE", "write CHTE -> not-privileged"}, "CHTE", false},
      {{"CH0B", "CH0C"}, false, nullptr,
       {"check CHTE", "check CH0B", "check CH0B", "write CH0B 02", "check CH0C", "write CH0C 02"}, "CH0B_CH0C", true},
      {{"CH0B", "CH0C"}, false, "write:CH0B=io-error",
       {"check CHTE", "check CH0B", "check CH0B", "write CH0B -> io-error"}, "CH0B_CH0C", false},
      {{"CH0B", "CH0C"}, true, "write:CH0C=io-error",
       {"check CHTE", "check CH0B", "check CH0B", "write CH0B 00", "check CH0C", "write CH0C -> io-error"},
       "CH0B_CH0C", false},
      {{"CH0B"}, true, nullptr, {"check CHTE", "check CH0B", "check CH0B", "write CH0B 00", "check CH0C"},
       "CH0B_CH0C", true},
      {{"CH0C"}, false, nullptr,
       {"check CHTE", "check CH0B", "check CH0C", "check CH0B", "check CH0C", "write CH0C 02"}, "CH0B_CH0C", true},
      {{}, false, nullptr, {"check CHTE", "check CH0B", "check CH0C"}, std::nullopt, false},
      // Both keys vanish between the first check and the re-checks: nothing
      // was written, so nothing may be reported as done.
      {{"CH0B"}, false, "info:CH0B=key-not-found@2",
       {"check CHTE", "check CH0B", "check CH0B", "check CH0C"}, std::nullopt, false},
  };
  for (const auto& c : cases) expectCalls(c, writeCharging);
}

TEST_F(ChargingWriteTest, AdapterCallSequences) {
  const WriteCase cases[] = {
      {{"CHIE", "CH0J", "CH0I"}, false, nullptr, {"check CHIE", "write CHIE 08"}, "CHIE", true},
      {{"CHIE", "CH0J"}, true, nullptr, {"check CHIE", "write CHIE 00"}, "CHIE", true},
      {{"CH0J", "CH0I"}, false, nullptr, {"check CHIE", "check CH0J", "write CH0J 01"}, "CH0J", true},
      {{"CH0I"}, false, nullptr, {"check CHIE", "check CH0J", "check CH0I", "write CH0I 01"}, "CH0I", true},
      {{"CHIE", "CH0J"}, false, "write:CHIE=not-privileged", {"check CHIE", "write CHIE -> not-privileged"}, "CHIE", false},
      {{}, true, nullptr, {"check CHIE", "check CH0J", "check CH0I"}, std::nullopt, false},
  };
  for (const auto& c : cases) expectCalls(c, writeAdapter);
}

TEST_F(ChargingWriteTest, ZeroSizePlaceholdersAreNeverWritten) {
  // Current firmware: CHTE, CH0B and CH0C exist with no data; CH0I too.
  mac.setSizedKey("CHTE", "ui32", 0);
  mac.setSizedKey("CH0B", "hex_", 0);
  mac.setSizedKey("CH0C", "hex_", 0);
  mac.setSizedKey("CH0I", "ui8 ", 0);
  EXPECT_EQ(writeCharging(false), std::nullopt);
  EXPECT_EQ(writeAdapter(false), std::nullopt);
  key("CH0J", "00");
  const auto adapter = writeAdapter(false);
  ASSERT_TRUE(adapter);
  EXPECT_EQ(adapter->backend, "CH0J");
  for (const auto& line : trace()) EXPECT_FALSE(line.starts_with("write CH0I")) << line;
}

}  // namespace
